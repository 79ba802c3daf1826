// The update server's XML reply as the update dialog reads it.
#include "ui/VersionReply.h"
#include "update/VersionNumber.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The version numbers are compared on their own as well: the reply's Version is free text.
    const size_t cut = text.find('\n');
    const std::string first = text.substr(0, cut);
    const std::string second = cut == std::string::npos ? std::string() : text.substr(cut + 1);
    ParseVersion(first);
    if (IsNewerVersion(first, second) && IsNewerVersion(second, first))
        std::abort(); // two versions cannot each be newer than the other
    if (IsNewerVersion(first, first))
        std::abort();

    const std::optional<VersionReply> reply = ParseVersionReply(text);
    if (!reply)
        return 0;
    const QString shown = VersionDialogText(*reply, "2.6.1.0");
    const QString changes = NormalizeChanges(reply->changes);
    if (changes.contains(QLatin1Char('\t')))
        std::abort();
    // Every line end is CR LF afterwards, and normalizing again changes nothing.
    if (NormalizeChanges(changes) != changes)
        std::abort();
    (void)shown;
    return 0;
}
