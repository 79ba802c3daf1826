// The report list: a table view over a CListModel with grid lines, alternating row colours and
// a column layout kept in the profile.
#pragma once

#include "ui/controls/CListModel.h"

#include <QTableView>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CSettingsStore;
class QProxyStyle;

class CExtListCtrl : public QTableView
{
    Q_OBJECT
public:
    // section names the profile section of the column layout ("FilterView", "Logging", ...).
    CExtListCtrl(std::string section, std::span<const ListColumn> columns,
                 QWidget* parent = nullptr);
    ~CExtListCtrl() override;

    CListModel& Model() { return *m_model; }
    const CListModel& Model() const { return *m_model; }
    const std::string& GetSection() const { return m_section; }

    // lineStyle: -1 none, 0 solid, 1 dash, 2 dot, 3 dash-dot. Colours are 0x00BBGGRR values.
    void SetGridLines(int lineStyle, uint32_t color);
    int GetGridLineStyle() const { return m_lineStyle; }
    QColor GetGridColor() const { return m_gridColor; }
    void SetRowColors(uint32_t first, uint32_t second);

    // Reads "Columns width" and "Columns order"; a missing or malformed value keeps the
    // defaults.
    void LoadLayout(const CSettingsStore& store);
    void SaveLayout(CSettingsStore& store) const;
    std::vector<int> GetColumnWidths() const;
    std::vector<int> GetColumnOrder() const;

    // A default width in pixels, widened for fonts larger than the one it was chosen for.
    int ScaledWidth(int width) const;
    // Widens the column so that the text shows whole (an IPv6 address in a column sized for
    // IPv4); never narrows it.
    void FitColumn(int column, const QString& text);

    // The selected row, -1 without one.
    int GetSelectionMark() const;
    void SetSelectionMark(int row);
    void SetRedraw(bool redraw);

signals:
    void HeaderClicked(int column);
    void SelectionMarkChanged(int row);

private:
    std::string m_section;
    CListModel* m_model;
    QProxyStyle* m_style;
    int m_lineStyle = -1;
    QColor m_gridColor;
};

QColor ColorFromRef(uint32_t color);
