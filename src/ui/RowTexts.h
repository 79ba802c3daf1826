// The texts the rows of the main view's lists show: traffic in the chosen unit, times and days.
#pragma once

#include <QString>

#include <cstdint>

// Bytes in the unit of G_View.
QString TrafficText(double bytes);
// "2024-05-06  12:00:00" in local time; window thread only (it keeps a cache).
QString TimeText(int64_t time);
// "2024-05-06" in local time.
QString DayText(int64_t day);
// Times converted before a change of the time zone (TZ, tzset) would keep the old zone.
void ResetTimeCache();
