#include "db/LocalTimeText.h"

#include <cstdio>
#include <ctime>

static_assert(sizeof(time_t) == 8, "times past 2038 need a 64-bit time_t");

namespace
{
bool ToLocal(int64_t time, tm& local)
{
    const time_t value = static_cast<time_t>(time);
    return localtime_r(&value, &local) != nullptr;
}

// Reads exactly `digits` decimal digits.
bool ReadNumber(const char*& text, int digits, int& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i, ++text)
    {
        if (*text < '0' || *text > '9')
            return false;
        value = value * 10 + (*text - '0');
    }
    return true;
}

bool Expect(const char*& text, char separator)
{
    if (*text != separator)
        return false;
    ++text;
    return true;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool ReadDate(const char*& text, tm& fields)
{
    int year = 0, month = 0, day = 0;
    if (!ReadNumber(text, 4, year) || !Expect(text, '-') || !ReadNumber(text, 2, month) ||
        !Expect(text, '-') || !ReadNumber(text, 2, day))
        return false;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    return true;
}

} // namespace

bool ReadLocalDate(const char* text, tm& fields)
{
    return text != nullptr && ReadDate(text, fields) && *text == '\0';
}

bool LocalFieldsToTime(tm& fields, int64_t& time)
{
    fields.tm_isdst = -1; // the platform decides whether daylight saving applies
    const tm asGiven = fields;
    const time_t value = mktime(&fields);
    // mktime answers -1 both for failure and for 23:59:59 on 31 Dec 1969 in UTC; the fields it
    // normalised tell the two apart.
    if (value == static_cast<time_t>(-1) &&
        (fields.tm_year != asGiven.tm_year || fields.tm_mon != asGiven.tm_mon ||
         fields.tm_mday != asGiven.tm_mday))
        return false;
    time = static_cast<int64_t>(value);
    return true;
}
bool ReadLocalDateTime(const char* text, tm& fields)
{
    if (text == nullptr)
        return false;
    int hour = 0, minute = 0, second = 0;
    if (!ReadDate(text, fields) || !Expect(text, ' ') || !ReadNumber(text, 2, hour) ||
        !Expect(text, ':') || !ReadNumber(text, 2, minute) || !Expect(text, ':') ||
        !ReadNumber(text, 2, second) || *text != '\0')
        return false;
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return true;
}

std::string FormatLocalDate(int64_t time)
{
    tm local{};
    if (!ToLocal(time, local))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    return text;
}

std::string FormatLocalDateTime(int64_t time)
{
    tm local{};
    if (!ToLocal(time, local))
        return std::string();
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

bool ParseLocalDate(const char* text, int64_t& time)
{
    if (text == nullptr)
        return false;
    tm fields{};
    if (!ReadDate(text, fields) || *text != '\0')
        return false;
    return LocalFieldsToTime(fields, time);
}

bool ParseLocalDateTime(const char* text, int64_t& time)
{
    tm fields{};
    return ReadLocalDateTime(text, fields) && LocalFieldsToTime(fields, time);
}
