#include "ui/CDatabaseViewStore.h"

#include "db/CDatabaseManager.h"

CKavoLocker& CDatabaseViewStore::GetDatabaseLock()
{
    return m_database.GetDatabaseLock();
}

void CDatabaseViewStore::SaveIpRules(IFilter* filter)
{
    m_database.SaveIpRules(filter);
}

void CDatabaseViewStore::ClearHosts(IFilter* filter)
{
    m_database.ClearHosts(filter);
}

void CDatabaseViewStore::ClearHistory(IFilter* filter)
{
    m_database.ClearHistory(filter);
}
