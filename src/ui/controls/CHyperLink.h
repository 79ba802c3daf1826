// A label that opens a web address in the browser when clicked.
#pragma once

#include <QLabel>
#include <QUrl>

class CHyperLink : public QLabel
{
    Q_OBJECT
public:
    CHyperLink(const QString& text, const QUrl& url, QWidget* parent = nullptr);
    QUrl url() const { return m_url; }

private:
    QUrl m_url;
};
