// What the "IP Filter" and "Port Filter" pages share: type and action lists, two value edits,
// "&Add", "&Remove" and the list of the page's rules.
#pragma once

#include "ui/DialogInput.h"

#include <QWidget>

class CFilter;
class CSettingsStore;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CDlgFilterRulePage : public QWidget
{
    Q_OBJECT
public:
    QComboBox* TypeBox() const { return m_type; }
    QComboBox* ActionBox() const { return m_action; }
    QLabel* FirstLabel() const { return m_firstLabel; }
    QLineEdit* FirstEdit() const { return m_first; }
    QLabel* SecondLabel() const { return m_secondLabel; }
    QLineEdit* SecondEdit() const { return m_second; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QTreeWidget* List() const { return m_list; }

    // "&Add": checks the edits and appends the rule, or shows why not. True when added.
    virtual bool AddRule() = 0;
    // "&Remove": every selected row and its rule.
    void RemoveSelected();
    // Double click: the row's values back into the edits and the action list.
    virtual void CopyRowToEdits(int row) = 0;
    // Replaces the filter's rules with the page's, in order, under the filter's lock.
    virtual void Commit() = 0;
    virtual int RuleCount() const = 0;
    // Keeps the list's column layout in the profile.
    ~CDlgFilterRulePage() override;

protected:
    CDlgFilterRulePage(CFilter* filter, bool isNew, MessageFunction message, const QString& listId,
                       const QStringList& types, const QString& valueColumn,
                       CSettingsStore* profile, const char* section, QWidget* parent);
    virtual void UpdateLabels() = 0;
    virtual void EraseRule(int index) = 0;
    void AppendRow(const QString& type, const QString& value, const QString& action);
    // Shows the message and puts the focus on the edit.
    void Refuse(const QString& text, QLineEdit* focus);

    CFilter* m_filter;
    bool m_new;
    MessageFunction m_message;

private:
    CSettingsStore* m_profile;
    const char* m_section;
    QComboBox* m_type;
    QComboBox* m_action;
    QLabel* m_firstLabel;
    QLineEdit* m_first;
    QLabel* m_secondLabel;
    QLineEdit* m_second;
    QPushButton* m_add;
    QPushButton* m_remove;
    QTreeWidget* m_list;
};
