// Helpers shared by the database tests: a listener that keeps errors, raw SQL writes, packets,
// filters (their rules written as the filter tests write them).
#pragma once

#include "capture/PacketInfo.h"
#include "db/CDatabaseManager.h"
#include "db/CppSQLite3DB.h"
#include "db/IDatabaseListener.h"
#include "filters/CFilterFactory.h"
#include "filters/FilterTestSupport.h"
#include "filters/HostBinding.h"
#include "testsupport/QueryRows.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <mutex>
#include <string>
#include <vector>

constexpr int64_t kNow = 1714932000; // 2024-05-05 18:00 UTC

class CErrorRecorder final : public IDatabaseListener
{
public:
    void OnError(const CKavoException& error) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_errors.push_back(error);
    }
    std::vector<CKavoException> Errors() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_errors;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<CKavoException> m_errors;
};

// Runs one or more statements.
inline void Exec(const std::string& path, const std::string& sql)
{
    CppSQLite3DB db;
    db.Open(path);
    db.ExecDml(sql.c_str());
}

// A TCP packet from `from` to `to` with the given length and time.
inline PacketInfo Packet(uint32_t from, uint32_t to, uint32_t length, int64_t time)
{
    PacketInfo packet = Tcp("0.0.0.0", 40000, "0.0.0.0", 80, length, time);
    packet.sourceAddress = from, packet.destinationAddress = to;
    return packet;
}

// Every row of the tables (by default those of filters, rules, hosts and days), in a fixed order.
inline std::string Tables(const std::string& path,
                          std::initializer_list<const char*> tables = {
                              "MAIN", "IP_FILTER", "PORT_FILTER", "HOSTS", "HISTORY"})
{
    std::string text;
    for (const std::string table : tables)
        text +=
            table + ":\n" + QueryRows(path, "select * from " + table + " order by 1, 2, rowid;");
    return text;
}

// `hosts` packets of `length` bytes from `local` to 198.20.0.0 onwards, `step` seconds apart.
inline void CountHosts(CFilterFactory& factory, const char* local, uint32_t hosts, uint32_t length,
                       int64_t step = 0)
{
    for (uint32_t i = 0; i < hosts; ++i)
        factory.DispatchPacket(Packet(Ip(local), htonl(0xC6140000u + i), length,
                                      kNow + step * static_cast<int64_t>(i)));
}

// A statistics file in a folder of its own.
class DbTest : public ::testing::Test
{
protected:
    std::string Path() const { return m_dir.File("traffic.db"); }
    TempDir m_dir;
};

// One store and one filter collection on a database file in a temporary folder.
struct Session
{
    explicit Session(const std::string& path, IClock& clock = SystemClock()) : store(clock)
    {
        store.SetListener(&errors);
        store.SetBusyTimeout(200);
        opened = store.Open(path);
        factory.SetStore(&store);
    }
    ~Session() { factory.SetStore(nullptr); }

    CErrorRecorder errors;
    CDatabaseManager store;
    CFilterFactory factory;
    bool opened = false;
};

inline CFilter* AddressFilter(CFilterFactory& factory, const char* name, const char* address)
{
    CFilter* filter = factory.NewFilter(true);
    filter->SetName(name);
    filter->SetBinding(static_cast<int>(HostBinding::Address));
    filter->SetAddress(Ip(address));
    return filter;
}
