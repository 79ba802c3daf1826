// The "Months" tab: the selected filter's billing months, the current one with its projection.
#pragma once

#include "ui/controls/CExtListCtrl.h"

#include <cstdint>

class CFilter;

class CMonthList : public CExtListCtrl
{
    Q_OBJECT
public:
    explicit CMonthList(QWidget* parent = nullptr);

    // Fills the list from the filter's days, oldest month first; null empties it. Reads the
    // history without its filter's lock (see HistoryTable).
    void Show(const CFilter* filter, int billingDay, int64_t now);
};
