#include "platform/InterfaceTable.h"

#include "core/CKavoException.h"

#include <algorithm>
#include <cerrno>
#include <net/if.h>

std::vector<InterfaceRow> ReadInterfaceTable()
{
    struct if_nameindex* list = if_nameindex();
    if (list == nullptr)
        throw CKavoException("Can't read interface table!", static_cast<uint32_t>(errno), false);

    std::vector<InterfaceRow> rows;
    for (const struct if_nameindex* entry = list; entry->if_index != 0 || entry->if_name != nullptr;
         ++entry)
        rows.push_back(InterfaceRow{entry->if_index, entry->if_name, entry->if_name});
    if_freenameindex(list);
    std::sort(rows.begin(), rows.end(),
              [](const InterfaceRow& a, const InterfaceRow& b) { return a.index < b.index; });
    return rows;
}
