// The country names file "Countries.dat": code TAB name lines of any shape.
#include "FuzzFile.h"

#include "core/CKavoException.h"
#include "lookup/CCountryDatabase.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile(data, size, "Countries.dat");
    CCountryDatabase database;
    try
    {
        database.LoadNames(path);
    }
    catch (const CKavoException&)
    {
        return 0;
    }
    // Every code-shaped piece of the input is asked for.
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (size_t i = 0; i + 2 <= text.size() && i < 512; ++i)
        database.GetCountryName(text.substr(i, 2).c_str());
    database.GetCountryName("");
    database.Lookup(0x01020304, false);
    return 0;
}
