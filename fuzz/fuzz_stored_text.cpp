// Texts read back from the statistics database: the day and time stamps and the HOST text of a
// filter.
#include "db/LocalTimeText.h"
#include "filters/HostBinding.h"

// The cached parser and formatter of a load and a save moved into classes of their own; either
// layout is fuzzed.
#if __has_include("db/CLocalTimeParser.h")
#include "db/CLocalTimeFormatter.h"
#include "db/CLocalTimeParser.h"
using CachedTimeParser = CLocalTimeParser;
#define OMBRIX_CACHED_FORMATTER 1
#else
using CachedTimeParser = LocalTimeParser;
#endif

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

namespace
{
void CheckTimes(const std::string& text)
{
    static auto parser = std::make_unique<CachedTimeParser>();
    int64_t date = -7;
    if (ParseLocalDate(text.c_str(), date))
    {
        // A date that parsed has a calendar form again.
        if (FormatLocalDate(date).empty())
            std::abort();
        int64_t again = -7;
        if (!parser->ParseDate(text.c_str(), again) || again != date)
            std::abort();
    }
    else if (date != -7)
        std::abort(); // a refused text leaves the time alone
    int64_t time = -7;
    if (ParseLocalDateTime(text.c_str(), time))
    {
        if (FormatLocalDateTime(time).empty())
            std::abort();
        int64_t again = -7;
        if (!parser->ParseDateTime(text.c_str(), again) || again != time)
            std::abort();
#ifdef OMBRIX_CACHED_FORMATTER
        // The cached formatter of a save writes what the plain one writes.
        static auto formatter = std::make_unique<CLocalTimeFormatter>();
        if (formatter->FormatDateTime(time) != FormatLocalDateTime(time))
            std::abort();
#endif
    }
    else if (time != -7)
        std::abort();
}

void CheckHost(const std::string& text)
{
    std::vector<uint8_t> bytes{1, 2, 3};
    if (ParseHardwareAddress(text, bytes))
    {
        std::string upper = text;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (bytes.size() != 6 || FormatHardwareAddress(bytes) != upper)
            std::abort();
    }
    else if (!bytes.empty())
        std::abort();

    const DecodedHostBinding host = DecodeHostBinding(text);
    if (host.binding < 0 || host.binding > 2)
        std::abort();
    if (host.binding == static_cast<int>(HostBinding::Hardware) && host.hardware.size() != 6)
        std::abort();
    // What a filter writes back must decode to the same binding.
    const std::string stored = FormatHostBinding(host.binding, host.address, host.hardware);
    const DecodedHostBinding again = DecodeHostBinding(stored);
    if (again.binding != host.binding || again.hardware != host.hardware)
        std::abort();
}

} // namespace

// A zone with daylight saving, written as a rule so that no zone file is needed: the hour that
// is skipped in spring and the one that repeats in autumn are the texts most likely to go wrong.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The database hands texts over as NUL-terminated strings.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string terminated = text.substr(0, text.find('\0'));
    CheckTimes(terminated);
    CheckHost(terminated);
    return 0;
}
