// The view's store commands over the statistics database.
#pragma once

#include "ui/IViewStore.h"

class CDatabaseManager;

class CDatabaseViewStore final : public IViewStore
{
public:
    explicit CDatabaseViewStore(CDatabaseManager& database) : m_database(database) {}

    CKavoLocker& GetDatabaseLock() override;
    void SaveIpRules(IFilter* filter) override;
    // Failures reach the user through the database's listener.
    void ClearHosts(IFilter* filter) override;
    void ClearHistory(IFilter* filter) override;

private:
    CDatabaseManager& m_database;
};
