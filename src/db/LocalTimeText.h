// Local-time texts of the statistics file: "YYYY-MM-DD" (history days) and
// "YYYY-MM-DD HH:MM:SS" (host update times), formatted and parsed strictly.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// Empty when the time has no local calendar form.
std::string FormatLocalDate(int64_t time);
std::string FormatLocalDateTime(int64_t time);

// Exactly the form above with every field in range (the day within its month, year from 1900);
// false otherwise, leaving time unchanged.
bool ParseLocalDate(const char* text, int64_t& time);
bool ParseLocalDateTime(const char* text, int64_t& time);

// The two steps of the parsers, for callers that convert many texts: reading the fields
// (strictly, as above) and turning local fields into a time (daylight saving decided by the
// platform; the fields are normalised).
bool ReadLocalDate(const char* text, tm& fields);
bool ReadLocalDateTime(const char* text, tm& fields);
bool LocalFieldsToTime(tm& fields, int64_t& time);
