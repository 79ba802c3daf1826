// The dialog that tells the result of a version check and offers the download page.
#pragma once

#include <QDialog>

class QPlainTextEdit;

class CDlgUpdateVersion : public QDialog
{
    Q_OBJECT
public:
    explicit CDlgUpdateVersion(const QString& text, QWidget* parent = nullptr);

    QPlainTextEdit* TextEdit() const { return m_text; }

protected:
    // Key presses and right clicks on the text are swallowed: it cannot be changed and has no
    // context menu.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnDownload();

    QPlainTextEdit* m_text;
};
