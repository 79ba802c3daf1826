// The country ranges file "GeoBase.dat": damaged or hostile files must load what is sound and
// answer look-ups without reading outside what was loaded.
#include "FuzzFile.h"

#include "core/CKavoException.h"
#include "lookup/CCountryDatabase.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile(data, size, "GeoBase.dat");
    CCountryDatabase database;
    try
    {
        database.LoadRanges(path);
    }
    catch (const CKavoException&)
    {
        return 0;
    }
    if (database.GetIndexWidth() < 1 || database.GetIndexWidth() > 16)
        std::abort();
    // Addresses from the file itself are the ones most likely to fall into a loaded range.
    for (size_t offset = 0; offset + 4 <= size && offset < 256; offset += 3)
    {
        uint32_t address = 0;
        std::memcpy(&address, data + offset, sizeof address);
        for (uint32_t probe : {address, __builtin_bswap32(address), address ^ 1u, ~address})
        {
            const char* code = database.Lookup(probe, true);
            if (code != nullptr && std::strlen(code) > 2)
                std::abort();
            database.Lookup(probe, false);
        }
    }
    database.Lookup(0, true);
    database.Lookup(0xFFFFFFFF, true);
    return 0;
}
