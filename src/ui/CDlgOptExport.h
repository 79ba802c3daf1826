// The "Export" options page: IPFIX collectors, intervals, pacing and the filters sent.
#pragma once

#include "platform/ExportSettings.h"
#include "ui/DialogInput.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;

class CDlgOptExport : public QWidget
{
    Q_OBJECT
public:
    // filters: id and name of each filter, in display order.
    CDlgOptExport(const std::vector<std::pair<int, std::string>>& filters, MessageFunction message,
                  QWidget* parent = nullptr);
    // Every collector HOST:PORT and every number within its range, else the message and false.
    bool Validate();
    // Writes the page into the stored export settings.
    void Commit();
    ExportSettings GetSettings() const;

    QCheckBox* EnabledBox() const { return m_enabled; }
    QLineEdit* CollectorsEdit() const { return m_collectors; }
    QListWidget* FilterList() const { return m_filters; }

private:
    bool CheckNumber(QLineEdit* edit, int minimum, int maximum);

    MessageFunction m_message;
    QCheckBox* m_enabled;
    QLineEdit* m_collectors;
    QLineEdit* m_interval;
    QLineEdit* m_templates;
    QLineEdit* m_pace;
    QListWidget* m_filters;
};
