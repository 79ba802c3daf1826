#include "db/CLocalTimeParser.h"

#include "db/LocalTimeText.h"

bool CLocalTimeParser::ParseDate(const char* text, int64_t& time)
{
    tm fields{};
    return ReadLocalDate(text, fields) && Convert(fields, time);
}

bool CLocalTimeParser::ParseDateTime(const char* text, int64_t& time)
{
    tm fields{};
    return ReadLocalDateTime(text, fields) && Convert(fields, time);
}

bool CLocalTimeParser::Convert(tm& fields, int64_t& time)
{
    const int64_t key =
        ((int64_t(fields.tm_year) * 100 + fields.tm_mon) * 100 + fields.tm_mday) * 100 +
        fields.tm_hour;
    Entry& entry = m_entries[static_cast<uint64_t>(key) % kEntries];
    if (entry.key != key)
    {
        tm first = fields;
        first.tm_min = first.tm_sec = 0;
        tm last = fields;
        last.tm_min = last.tm_sec = 59;
        int64_t start = 0, end = 0;
        if (!LocalFieldsToTime(first, start) || !LocalFieldsToTime(last, end))
            return LocalFieldsToTime(fields, time);
        entry.key = key;
        entry.start = start;
        // Normalised fields mean the hour does not exist as given (a daylight-saving gap).
        entry.steady = end - start == 3599 && first.tm_hour == fields.tm_hour &&
                       first.tm_mday == fields.tm_mday;
    }
    if (!entry.steady)
        return LocalFieldsToTime(fields, time);
    time = entry.start + fields.tm_min * 60 + fields.tm_sec;
    return true;
}
