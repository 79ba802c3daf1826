#include "app/CEngine.h"

#include "db/CDatabaseManager.h"
#include "db/CDatabaseSaver.h"
#include "filters/CFilterFactory.h"
#include "lookup/CHostNameCache.h"

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

namespace
{
// Asks the resolver once for each host address of either family that has no name yet.
class HostRequests
{
public:
    explicit HostRequests(CHostNameCache& cache) : m_cache(cache) {}
    void Ask(const CFilterHost& host)
    {
        if (host.IsIpv6())
        {
            std::string name;
            const Ip6Address address = host.GetAddress6();
            if (m_asked6.insert(address).second && !m_cache.Lookup6(address, name))
                m_cache.Request6(address);
            return;
        }
        const uint32_t address = host.GetAddress();
        if (m_asked.insert(address).second && !m_cache.Lookup(address))
            m_cache.Request(address);
    }

private:
    CHostNameCache& m_cache;
    std::set<uint32_t> m_asked;
    std::set<Ip6Address> m_asked6;
};
} // namespace

CEngine::CEngine(IDatabaseListener& errors)
    : m_errors(errors), m_analyzer(m_queue, &errors),
      m_packets(m_queue, CFilterFactory::Instance(), &errors),
      m_saver([] { CFilterFactory::Instance().SaveFilters(); })
{
}

CEngine::~CEngine()
{
    if (m_started)
        Stop();
}

bool CEngine::Start(const EngineSetup& setup)
{
    m_started = true;
    m_writerLock = setup.writerLock;
    CFilterFactory& filters = CFilterFactory::Instance();
    filters.SetLocalAddressTest(setup.localTest);
    filters.SetPendingHosts(&m_pending);

    CDatabaseManager& database = CDatabaseManager::Instance();
    CHostNameCache& names = CHostNameCache::Instance();
    database.SetListener(&m_errors);
    if (setup.showProgress)
        database.SetLoadProgress(
            [](uint64_t done, uint64_t total)
            {
                std::fprintf(stderr, "\r\033[Kloading statistics: %llu of %llu rows",
                             static_cast<unsigned long long>(done),
                             static_cast<unsigned long long>(total));
                if (done >= total)
                    std::fputs("\r\033[K", stderr);
            });
    filters.SetStore(&database);
    database.SetWriteNewFileOnce(setup.writeNewFileOnce);
    m_databaseOpen = database.Open(setup.databasePath);
    if (m_databaseOpen && setup.purgeDays > 0)
        database.PurgeOldRecords(setup.purgeDays);
    filters.LoadFilters();
    database.LoadHostNames([&names](uint32_t address, const std::string& name)
                           { names.Add(address, name); });
    names.SetNameSink([&database](uint32_t address, const std::string& name)
                      { database.QueueHostName(address, name); });
    database.LoadHostNames6([&names](const Ip6Address& address, const std::string& name)
                            { names.Add6(address, name); });
    names.SetNameSink6([&database](const Ip6Address& address, const std::string& name)
                       { database.QueueHostName6(address, name); });

    // A file that opened but failed to load may hold filters whose rows new default filters
    // would overwrite, so defaults come only after a clean load of an empty table; a file that
    // did not open is never written, so counting in memory may start from the defaults.
    const bool mayCreateDefaults = database.LoadSucceeded() || !m_databaseOpen;
    if (mayCreateDefaults && filters.GetCount() == 0)
    {
        try
        {
            if (setup.defaultNetworks)
                filters.CreateDefaultFilters(*setup.defaultNetworks, setup.defaultNetworks6);
            else
                filters.CreateDefaultFilters();
        }
        catch (const CKavoException& error)
        {
            m_errors.OnError(error);
        }
    }

    if (setup.startResolver)
    {
        try
        {
            m_resolverThread.Start(&CHostNameCache::Instance());
        }
        catch (const CKavoException& error)
        {
            m_errors.OnError(error);
        }
    }

    try
    {
        m_packets.Start();
    }
    catch (const CKavoException&)
    {
        // Shown as the plain sentence, without an error code that would mean nothing here.
        std::fputs("Sorry, thread creation is failed.\n", stderr);
        return false;
    }
    return true;
}

void CEngine::StartSaver()
{
    try
    {
        m_saver.Start();
    }
    catch (const CKavoException& error)
    {
        m_errors.OnError(error);
    }
}

void CEngine::SignalSave()
{
    m_saver.Signal();
}

void CEngine::Drain()
{
    // The reader is the only producer while this runs, so the queued count only grows by what
    // it still pushes; once the thread caught up with it, everything was dispatched.
    while (m_packets.GetDispatchedCount() < m_queue.GetStatistics().queuedPackets)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void CEngine::RequestHostNames()
{
    CHostNameCache& cache = CHostNameCache::Instance();
    std::vector<CFilterHost*> touched;
    // The pending set's lock keeps the records alive while we read them: a filter removal takes
    // them out under the same lock before it destroys them.
    CKavoLock lock(m_pending.GetLock());
    m_pending.Take(m_pending.GetCount(), touched);
    HostRequests requests(cache);
    for (CFilterHost* host : touched)
        requests.Ask(*host);
}

void CEngine::RequestAllHostNames()
{
    CHostNameCache& cache = CHostNameCache::Instance();
    CFilterFactory& filters = CFilterFactory::Instance();
    HostRequests requests(cache);
    CKavoLock lock(filters.GetLock());
    for (unsigned i = 0; i < filters.GetCount(); ++i)
    {
        CFilter* filter = filters.GetFilter(i);
        CKavoLock filterLock(filter->GetLock());
        for (int j = 0; j < filter->GetHostCount(); ++j)
            requests.Ask(*filter->GetHost(j));
    }
}

size_t CEngine::GetPendingNameCount() const
{
    return CHostNameCache::Instance().GetRequestCount();
}

void CEngine::StartExport(const IpfixSettings& settings, bool wallClock)
{
    if (settings.collectors.empty())
        return;
    m_exporter = std::make_unique<CIpfixExporter>(CFilterFactory::Instance(), m_errors);
    m_exporter->Configure(settings);
    if (wallClock)
        m_exporter->Start();
}

void CEngine::ExportInterval(uint64_t startMs, uint64_t endMs)
{
    if (!m_exporter)
        return;
    Drain();
    m_exporter->ExportInterval(startMs, endMs);
}

void CEngine::Stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    CHostNameCache& cache = CHostNameCache::Instance();
    cache.RequestStop();
    // Capture has closed: what it queued last is still counted, within a bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (m_packets.IsRunning() &&
           m_packets.GetDispatchedCount() < m_queue.GetStatistics().queuedPackets &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_packets.Stop();
    m_saver.Stop();
    // Counting has ended: the exporter's last interval holds every count.
    if (m_exporter)
        m_exporter->Stop();

    CFilterFactory::Instance().SaveFilters();
    CDatabaseManager::Instance().FlushHostNames();
    if (m_writerLock != nullptr)
        m_writerLock->Release();

    if (m_resolverThread.Wait(std::chrono::milliseconds(1000)) == CKavoThread::WaitResult::Timeout)
        std::fputs("ombrix: the name resolver did not end within 1 s\n", stderr);
    CFilterFactory::Instance().SetPendingHosts(nullptr);
}

std::string CEngine::FormatTotals() const
{
    CFilterFactory& filters = CFilterFactory::Instance();
    std::string text;
    CKavoLock lock(filters.GetLock());
    for (unsigned i = 0; i < filters.GetCount(); ++i)
    {
        const CFilter* filter = filters.GetFilter(i);
        char line[512];
        std::snprintf(line, sizeof(line), "%s: received %.0f bytes, sent %.0f bytes\n",
                      filter->GetName().c_str(), filter->GetReceived(), filter->GetSent());
        text += line;
    }
    return text;
}
