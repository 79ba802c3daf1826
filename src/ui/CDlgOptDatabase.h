// The "Database" options page: the periodic save and how long records are kept.
#pragma once

#include "ui/DialogInput.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QToolButton;

class CDlgOptDatabase : public QWidget
{
    Q_OBJECT
public:
    explicit CDlgOptDatabase(MessageFunction message, QWidget* parent = nullptr);
    // Minutes 1..120 and days 1..365, whole numbers, else the message and false.
    bool Validate();
    void Commit();

    QCheckBox* AutoSaveBox() const { return m_autoSave; }
    QLineEdit* MinutesEdit() const { return m_minutes; }
    QCheckBox* KeepBox() const { return m_keep; }
    QLineEdit* DaysEdit() const { return m_days; }

private:
    // An edit with up and down buttons that step within the range.
    QWidget* MakeSpinEdit(QLineEdit*& edit, int minimum, int maximum, int value,
                          QList<QWidget*>& parts);
    void UpdateEnabling();
    bool CheckRange(QLineEdit* edit, int minimum, int maximum);

    MessageFunction m_message;
    QCheckBox* m_autoSave;
    QLineEdit* m_minutes;
    QCheckBox* m_keep;
    QLineEdit* m_days;
    QList<QWidget*> m_minuteParts;
    QList<QWidget*> m_dayParts;
};
