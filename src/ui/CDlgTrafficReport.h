// "Traffic Report": the filters to report and the order of the host and history tables.
#pragma once

#include <QDialog>

#include <vector>

class CFilter;
class CFilterFactory;
class QComboBox;
class QTreeWidget;

class CDlgTrafficReport : public QDialog
{
    Q_OBJECT
public:
    // Every filter of the manager gets a row, checked whatever was chosen last time; the sort
    // choices start from the settings.
    explicit CDlgTrafficReport(CFilterFactory& manager, QWidget* parent = nullptr);

    // "Save...": stores the sort choices, collects the checked filters top to bottom, closes
    // with OK.
    void Save();
    void SelectAll();
    void DeselectAll();
    void InvertSelection();

    const std::vector<CFilter*>& GetSelectedFilters() const { return m_selected; }
    int GetHostColumn() const { return m_hostColumn; }
    int GetHostDirection() const { return m_hostDirection; }
    int GetHistoryColumn() const { return m_historyColumn; }
    int GetHistoryDirection() const { return m_historyDirection; }

    QTreeWidget* List() const { return m_list; }
    QComboBox* HostColumnBox() const { return m_hostColumnBox; }
    QComboBox* HostDirectionBox() const { return m_hostDirectionBox; }
    QComboBox* HistoryColumnBox() const { return m_historyColumnBox; }
    QComboBox* HistoryDirectionBox() const { return m_historyDirectionBox; }

private:
    void SetAllChecks(int mode); // 0 uncheck, 1 check, 2 invert
    void ShowContextMenu(const QPoint& position);

    std::vector<CFilter*> m_selected;
    std::vector<CFilter*> m_rows; // the filter of each row
    int m_hostColumn;
    int m_hostDirection;
    int m_historyColumn;
    int m_historyDirection;
    QTreeWidget* m_list;
    QComboBox* m_hostColumnBox;
    QComboBox* m_hostDirectionBox;
    QComboBox* m_historyColumnBox;
    QComboBox* m_historyDirectionBox;
};
