#include "DbTestSupport.h"
#include "db/LocalTimeText.h"

#include <map>

namespace
{
Ip6Address Ip6(const char* text)
{
    Ip6Address address;
    EXPECT_TRUE(ParseIp6(text, address)) << text;
    return address;
}

PacketInfo Packet6(const char* from, const char* to, uint32_t length, int64_t time)
{
    PacketInfo packet = Packet(0, 0, length, time);
    packet.ipv6 = true;
    packet.sourceAddress6 = Ip6(from);
    packet.destinationAddress6 = Ip6(to);
    return packet;
}

class ThisMachine final : public ILocalAddressTest
{
public:
    bool IsLocalAddress(uint32_t address) override { return address == Ip("198.18.0.1"); }
    bool IsLocalAddress6(const Ip6Address& address) override
    {
        return address == Ip6("2001:2::10");
    }
};

void AddIp6Rule(CFilter* filter, IpRuleType type, const char* first, const char* second, int length,
                RuleAction action)
{
    auto* rule = new CFilterParamIp6;
    rule->SetType(static_cast<int>(type));
    rule->SetAddress(Ip6(first));
    rule->SetSecondAddress(Ip6(second));
    rule->SetPrefixLength(length);
    rule->SetAction(static_cast<int>(action));
    filter->AddIp6Rule(rule);
}

std::string Rules6(const CFilter& filter)
{
    std::string text;
    for (int i = 0; i < filter.GetIp6RuleCount(); ++i)
    {
        const CFilterParamIp6* rule = filter.GetIp6Rule(i);
        text += std::to_string(rule->GetType()) + " " + Ip6Text(rule->GetAddress()) + " " +
                Ip6Text(rule->GetSecondAddress()) + " " + std::to_string(rule->GetPrefixLength()) +
                " " + std::to_string(rule->GetAction()) + "\n";
    }
    return text;
}

std::string Hosts(const CFilter& filter)
{
    std::string text;
    for (int i = 0; i < filter.GetHostCount(); ++i)
    {
        const CFilterHost* host = filter.GetHost(i);
        text += (host->IsIpv6() ? Ip6Text(host->GetAddress6()) : "v4") + " " +
                std::to_string(host->GetReceived()) + " " + std::to_string(host->GetSent()) + " " +
                std::to_string(host->GetUpdated() - kNow) + "\n";
    }
    return text;
}
} // namespace

using Ip6StorageTest = DbTest;

// Both directions of IPv6 traffic, rules of every type, a filter bound to an IPv6 address and a
// name: every column written, read back the same, updated in place, and deleted with the filter.
TEST_F(Ip6StorageTest, EveryIpv6ColumnRoundTrips)
{
    {
        Session session(Path());
        CFilter* filter = session.factory.NewFilter(true);
        filter->SetName("V6");
        filter->SetBinding(static_cast<int>(HostBinding::Address));
        filter->SetAddress6(Ip6("2001:2::10"));
        AddIp6Rule(filter, IpRuleType::Single, "2001:2::5", "::", 128, RuleAction::Include);
        AddIp6Rule(filter, IpRuleType::Range, "2001:2::100", "2001:2::1:0", 128,
                   RuleAction::Exclude);
        AddIp6Rule(filter, IpRuleType::Subnet, "2001:2:1::", "::", 48, RuleAction::Include);
        session.factory.StoreFilter(filter);
        session.factory.DispatchPacket(Packet6("2001:2::10", "2001:2:1::7", 300, kNow));
        session.factory.DispatchPacket(Packet6("2001:2:1::7", "2001:2::10", 1200, kNow + 1));
        session.factory.DispatchPacket(Packet6("2001:2::10", "2001:2:9::1", 100, kNow + 86400));
        session.factory.SaveFilters();
        session.store.QueueHostName6(Ip6("2001:2:1::7"), "seven.example");
        session.store.FlushHostNames();
        EXPECT_TRUE(session.errors.Errors().empty());
    }
    EXPECT_EQ(Dump(Path(), "select * from MAIN;"), "0|V6|1200.0|400.0|0.0.0.0|1|1|\n");
    EXPECT_EQ(Dump(Path(), "select * from FILTER_ADDRESS6;"), "0|2001:2::10|\n");
    EXPECT_EQ(Dump(Path(), "select * from IP6_FILTER;"),
              "0|0|2001:2::5|::|1|\n0|1|2001:2::100|2001:2::1:0|0|\n0|2|2001:2:1::|48|1|\n");
    EXPECT_EQ(Dump(Path(), "select ID, IP, RECV, SENT from HOSTS6;"),
              "0|2001:2:1::7|1200.0|300.0|\n0|2001:2:9::1|0.0|100.0|\n");
    EXPECT_EQ(Dump(Path(), "select UPDATED from HOSTS6 where IP = '2001:2:1::7';"),
              FormatLocalDateTime(kNow + 1) + "|\n");
    EXPECT_EQ(Dump(Path(), "select * from HOSTNAMES6;"), "2001:2:1::7|seven.example|\n");
    EXPECT_EQ(Dump(Path(), "select RECV, SENT from HISTORY;"), "1200.0|300.0|\n0.0|100.0|\n");

    Session again(Path());
    again.factory.LoadFilters();
    ASSERT_EQ(again.factory.GetCount(), 1u);
    CFilter* filter = again.factory.GetFilter(0);
    Ip6Address bound;
    EXPECT_TRUE(filter->GetAddress6(bound));
    EXPECT_EQ(bound, Ip6("2001:2::10"));
    EXPECT_EQ(filter->GetBinding(), static_cast<int>(HostBinding::Address));
    EXPECT_EQ(Rules6(*filter), "0 2001:2::5 :: 128 1\n1 2001:2::100 2001:2::1:0 128 0\n"
                               "2 2001:2:1:: :: 48 1\n");
    EXPECT_EQ(Hosts(*filter), "2001:2:1::7 1200.000000 300.000000 1\n"
                              "2001:2:9::1 0.000000 100.000000 86400\n");
    std::map<Ip6Address, std::string> names;
    EXPECT_TRUE(again.store.LoadHostNames6([&](const Ip6Address& address, const std::string& name)
                                           { names[address] = name; }));
    EXPECT_EQ(names, (std::map<Ip6Address, std::string>{{Ip6("2001:2:1::7"), "seven.example"}}));

    again.factory.DispatchPacket(Packet6("2001:2:1::7", "2001:2::10", 50, kNow + 2));
    again.factory.SaveFilters();
    EXPECT_EQ(Dump(Path(), "select ID, IP, RECV, SENT from HOSTS6;"),
              "0|2001:2:1::7|1250.0|300.0|\n0|2001:2:9::1|0.0|100.0|\n");
    again.factory.ClearHosts(filter);
    again.store.ClearHosts(filter);
    EXPECT_EQ(Count(Path(), "select count(*) from HOSTS6;"), 0);
    again.factory.RemoveFilter(filter);
    EXPECT_EQ(Count(Path(), "select (select count(*) from IP6_FILTER) + "
                            "(select count(*) from FILTER_ADDRESS6);"),
              0);
    EXPECT_TRUE(again.errors.Errors().empty());
}

// A reader that knows only the seven tables finds in HOSTS, HOSTNAMES, IP_FILTER and PORT_FILTER
// exactly the rows of the IPv4 traffic alone; MAIN and HISTORY add the IPv6 bytes.
TEST_F(Ip6StorageTest, OldReadersSeeTheIpv4PartAlone)
{
    auto fill = [](const std::string& path, bool ipv6)
    {
        Session session(path);
        ThisMachine machine;
        session.factory.SetLocalAddressTest(&machine);
        CFilter* filter = session.factory.NewFilter(true);
        filter->SetName("Both");
        AddIpRule(filter, static_cast<int>(IpRuleType::Subnet), "198.18.0.0", "255.254.0.0");
        AddPortRule(filter, static_cast<int>(PortRuleType::Single), 443, 0, 0);
        if (ipv6)
            AddIp6Rule(filter, IpRuleType::Subnet, "2001:2::", "::", 48, RuleAction::Include);
        session.factory.StoreFilter(filter);
        session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.7.7"), 500, kNow));
        session.factory.DispatchPacket(Packet(Ip("198.18.7.7"), Ip("198.18.0.1"), 900, kNow));
        session.store.QueueHostName(Ip("198.18.7.7"), "seven.example");
        if (ipv6)
        {
            session.factory.DispatchPacket(Packet6("2001:2::10", "2001:2:0:1::7", 30, kNow));
            session.factory.DispatchPacket(Packet6("2001:2:0:1::7", "2001:2::10", 4000, kNow));
            session.store.QueueHostName6(Ip6("2001:2:0:1::7"), "seven.example");
        }
        session.factory.SaveFilters();
        session.store.FlushHostNames();
        session.factory.SetLocalAddressTest(nullptr);
        EXPECT_TRUE(session.errors.Errors().empty());
    };
    const std::string ipv4Only = m_dir.File("ipv4.db");
    fill(ipv4Only, false);
    fill(Path(), true);
    for (const char* sql :
         {"select * from HOSTS order by rowid;", "select * from HOSTNAMES order by rowid;",
          "select * from IP_FILTER order by rowid;", "select * from PORT_FILTER order by rowid;"})
    {
        SCOPED_TRACE(sql);
        EXPECT_EQ(Dump(Path(), sql), Dump(ipv4Only, sql));
    }
    EXPECT_EQ(Dump(Path(), "select RECV, SENT, HOST from MAIN;"), "4900.0|530.0|0.0.0.0|\n");
    EXPECT_EQ(Dump(Path(), "select RECV, SENT from HISTORY;"), "4900.0|530.0|\n");
    EXPECT_EQ(Count(Path(), "select count(*) from HOSTS6;"), 1);
}

// Rows whose IPv6 text cannot be read, strictly, are left out (and in the file); the rest loads.
// A purge removes old IPv6 hosts as it removes old IPv4 ones.
TEST_F(Ip6StorageTest, DamagedIpv6RowsAreSkippedAndOldHostsPurged)
{
    {
        Session session(Path());
        session.factory.NewFilter(true)->SetName("Any");
        session.factory.SaveFilters();
    }
    const std::string now = FormatLocalDateTime(std::time(nullptr));
    std::string sql = "insert into FILTER_ADDRESS6 values (0, '2001:2::zz');"
                      "insert into HOSTNAMES6 values ('2001:2::1', 'one'), ('2001:2::1%eth0', "
                      "'zone'), ('[2001:2::2]', 'brackets'), (NULL, 'none');"
                      "insert into IP6_FILTER values (0, 2, '2001:2::', '64', 1), "
                      "(0, 2, '2001:2::', '129', 1), (0, 2, '2001:2::', '64x', 1), "
                      "(0, 2, '2001:2::', '', 1), (0, 2, '2001:2::', NULL, 1), "
                      "(0, 0, 'x', '::', 1), (0, 1, '2001:2::1', '2001:2::zz', 1), "
                      "(0, 0, '2001:2::9', '::', 0);"
                      "insert into HOSTS6 values (0, '2001:2::old', 1, 1, '" +
                      now + "');";
    for (const char* address : {"2001:2::1", "2001:2::1%eth0", "", " 2001:2::2", "1.2.3.4",
                                "2001:2::1:2:3:4:5:6:7", "2001:2::3"})
        sql +=
            "insert into HOSTS6 values (0, '" + std::string(address) + "', 1, 2, '" + now + "');";
    sql += "insert into HOSTS6 values (0, NULL, 1, 2, '" + now +
           "');"
           "insert into HOSTS6 values (0, '2001:2::4', 1, 2, '2000-01-01 00:00:00');";
    Exec(Path(), sql);

    Session session(Path());
    EXPECT_TRUE(session.store.PurgeOldRecords(30));
    EXPECT_EQ(Count(Path(), "select count(*) from HOSTS6 where IP = '2001:2::4';"), 0);
    session.factory.LoadFilters();
    ASSERT_EQ(session.factory.GetCount(), 1u);
    const CFilter* filter = session.factory.GetFilter(0);
    Ip6Address bound;
    EXPECT_FALSE(filter->GetAddress6(bound));
    EXPECT_EQ(filter->GetBinding(), static_cast<int>(HostBinding::LocalMachine));
    EXPECT_EQ(Rules6(*filter), "2 2001:2:: :: 64 1\n0 2001:2::9 :: 128 0\n");
    ASSERT_EQ(filter->GetHostCount(), 2);
    EXPECT_EQ(filter->GetHost(0)->GetAddress6(), Ip6("2001:2::1"));
    EXPECT_EQ(filter->GetHost(1)->GetAddress6(), Ip6("2001:2::3"));
    std::vector<std::string> names;
    session.store.LoadHostNames6([&](const Ip6Address& address, const std::string& name)
                                 { names.push_back(Ip6Text(address) + " " + name); });
    EXPECT_EQ(names, std::vector<std::string>{"2001:2::1 one"});
    EXPECT_TRUE(session.errors.Errors().empty());
}
