// The local midnight that starts the day holding a time: the key of a filter's history days.
#pragma once

#include <cstdint>

// Converts only when t falls outside the local day the calling thread converted last; the answer
// is the same as DayOfUncached's, daylight-saving changes included. Never throws: a time the C
// library cannot convert comes back unchanged.
int64_t DayOf(int64_t t);

// The plain conversion: local calendar date of t, then mktime of its 00:00:00 with daylight
// saving left to the system; t itself when either step fails.
int64_t DayOfUncached(int64_t t);

// Forgets every thread's cached day. Call after the time zone changed (setenv("TZ"), tzset).
void ResetDayCache();
