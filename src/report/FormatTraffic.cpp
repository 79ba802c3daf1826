#include "report/FormatTraffic.h"

#include <charconv>
#include <cstring>

namespace
{
struct Unit
{
    double divisor;
    int decimals;
    const char* suffix;
};

Unit UnitOf(int unit)
{
    switch (unit)
    {
    case 1:
        return {1024.0, 3, " Kb"};
    case 2:
        return {1024.0 * 1024.0, 3, " Mb"};
    case 3:
        return {1024.0 * 1024.0 * 1024.0, 3, " Gb"};
    default:
        return {1.0, 0, ""};
    }
}
} // namespace

void AppendTraffic(std::string& out, double bytes, int unit)
{
    const Unit chosen = UnitOf(unit);
    // to_chars never consults the locale, unlike printf, whose decimal point follows LC_NUMERIC.
    char digits[400];
    const auto result = std::to_chars(digits, digits + sizeof digits, bytes / chosen.divisor,
                                      std::chars_format::fixed, chosen.decimals);
    const size_t length = result.ec == std::errc() ? size_t(result.ptr - digits) : 0;
    const char* text = digits;
    const char* end = digits + length;

    const char* point = end;
    for (const char* p = end; p != text;)
    {
        if (*--p == '.')
        {
            point = p;
            break;
        }
    }
    if (text != point && *text == '-')
        out += *text++;
    const size_t integerDigits = size_t(point - text);
    for (size_t i = 0; i < integerDigits; ++i)
    {
        if (i != 0 && (integerDigits - i) % 3 == 0)
            out += ' ';
        out += text[i];
    }
    out.append(point, end);
    out += chosen.suffix;
}

std::string FormatTraffic(double bytes, int unit)
{
    std::string text;
    AppendTraffic(text, bytes, unit);
    return text;
}
