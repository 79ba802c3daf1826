#include "DbTestSupport.h"
#include "db/LocalTimeText.h"
#include "testsupport/FakeLocalAddresses.h"
#include "testsupport/Ip6Literal.h"

namespace
{
// The tables that hold IPv6 filters: an older reader never looks at them.
const std::initializer_list<const char*> kIp6Tables = {"FILTER_ADDRESS6", "IP6_FILTER", "HOSTS6"};

// Each stored IPv6 host name as "address name", read as the resolver's cache reads them.
std::string Names6(const std::string& path)
{
    CDatabaseManager store;
    store.Open(path);
    std::string names;
    store.LoadHostNames6([&](const Ip6Address& address, const std::string& name)
                         { names += Ip6Text(address) + " " + name; });
    return names;
}

// A filter of this machine counting both families, and (ipv6) one bound to an IPv6 address
// with rules of every type and a name for one of its hosts.
void Fill(const std::string& path, bool ipv6)
{
    Session session(path);
    FakeLocalAddresses machine{"198.18.0.1", "2001:2::10"};
    session.factory.SetLocalAddressTest(&machine);
    CFilter* both = session.factory.NewFilter(true);
    both->SetName("Both");
    AddRule(*both, "I 198.18.0.0/255.254.0.0");
    AddRule(*both, "E :443");
    session.factory.StoreFilter(both);
    session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.7.7"), 500, kNow));
    session.factory.DispatchPacket(Packet(Ip("198.18.7.7"), Ip("198.18.0.1"), 900, kNow));
    session.store.QueueHostName(Ip("198.18.7.7"), "seven.example");
    if (ipv6)
    {
        AddRule(*both, "I 2001:2::/32");
        session.factory.StoreFilter(both);
        CFilter* bound = session.factory.NewFilter(true);
        bound->SetName("V6");
        bound->SetBinding(static_cast<int>(HostBinding::Address));
        bound->SetAddress6(Ip6("2001:2::10"));
        for (const char* rule : {"I 2001:2::5", "E 2001:2::100-2001:2::1:0", "I 2001:2:1::/48"})
            AddRule(*bound, rule);
        session.factory.StoreFilter(bound);
        session.factory.DispatchPacket(Tcp("2001:2::10", 40000, "2001:2:1::7", 80, 30, kNow));
        session.factory.DispatchPacket(Tcp("2001:2:1::7", 40000, "2001:2::10", 80, 4000, kNow + 1));
        session.factory.DispatchPacket(
            Tcp("2001:2::10", 40000, "2001:3::1", 80, 100, kNow + 86400));
        session.store.QueueHostName6(Ip6("2001:2:1::7"), "seven.example");
    }
    session.factory.SaveFilters();
    session.store.FlushHostNames();
    session.factory.SetLocalAddressTest(nullptr);
    EXPECT_TRUE(session.errors.Errors().empty());
}
} // namespace

using Ip6StorageTest = DbTest;

// IPv6 rows go to their own tables, come back the same and are updated in place; a reader that
// knows only the seven tables finds in HOSTS, HOSTNAMES, IP_FILTER and PORT_FILTER exactly the
// rows of the IPv4 traffic alone, and in MAIN and HISTORY totals with the IPv6 bytes.
TEST_F(Ip6StorageTest, Ipv6RowsRoundTripBesideWhatOldReadersRead)
{
    const std::string ipv4Only = m_dir.File("ipv4.db");
    Fill(ipv4Only, false);
    Fill(Path(), true);
    const std::initializer_list<const char*> ipv4Tables = {"HOSTS", "HOSTNAMES", "IP_FILTER",
                                                           "PORT_FILTER"};
    EXPECT_EQ(Tables(Path(), ipv4Tables), Tables(ipv4Only, ipv4Tables));
    EXPECT_EQ(QueryRows(Path(), "select ID, RECV, SENT, HOST from MAIN; select ID, RECV, SENT "
                                "from HISTORY;"),
              "0|4900.0|530.0|0.0.0.0\n1|4000.0|130.0|0.0.0.0\n0|4900.0|530.0\n1|4000.0|30.0\n"
              "1|0.0|100.0\n");
    const std::string saved = Tables(Path(), kIp6Tables);
    EXPECT_EQ(saved, "FILTER_ADDRESS6:\n1|2001:2::10\nIP6_FILTER:\n0|2|2001:2::|32|1\n"
                     "1|0|2001:2::5|::|1\n1|1|2001:2::100|2001:2::1:0|0\n1|2|2001:2:1::|48|1\n"
                     "HOSTS6:\n0|2001:2:1::7|4000.0|30.0|" +
                         FormatLocalDateTime(kNow + 1) + "\n1|2001:2:1::7|4000.0|30.0|" +
                         FormatLocalDateTime(kNow + 1) + "\n1|2001:3::1|0.0|100.0|" +
                         FormatLocalDateTime(kNow + 86400) + "\n");
    EXPECT_EQ(Names6(Path()), "2001:2:1::7 seven.example");
    Session again(Path());
    again.factory.LoadFilters();
    ASSERT_EQ(again.factory.GetCount(), 2u);
    CFilter* bound = again.factory.GetFilter(1);
    // The file keeps a length for subnets only: single addresses and ranges load as whole ones.
    ASSERT_EQ(bound->GetIp6RuleCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bound->GetIp6Rule(i)->GetPrefixLength(), i == 2 ? 48 : 128) << i;
    ASSERT_EQ(unlink(Path().c_str()), 0);
    again.factory.SaveFilters(); // the file made again from what was loaded
    EXPECT_EQ(Tables(Path(), kIp6Tables), saved);

    again.factory.DispatchPacket(Tcp("2001:2:1::7", 40000, "2001:2::10", 80, 50, kNow + 2));
    again.factory.SaveFilters();
    EXPECT_EQ(QueryRows(Path(), "select RECV from HOSTS6 where ID = 1;"), "4050.0\n0.0\n");
    again.factory.ClearHosts(bound);
    again.store.ClearHosts(bound);
    EXPECT_EQ(QueryRows(Path(), "select * from HOSTS6 where ID = 1;"), "");
    again.factory.RemoveFilter(bound);
    EXPECT_EQ(QueryRows(Path(), "select * from IP6_FILTER where ID = 1; select * from "
                                "FILTER_ADDRESS6;"),
              "");
    EXPECT_EQ(again.errors.Errors().size(), 1u); // the file deleted behind its back
}

// Rows whose IPv6 text does not read strictly are left out (and in the file); the rest loads.
// A purge removes old IPv6 hosts as it removes old IPv4 ones.
TEST_F(Ip6StorageTest, DamagedIpv6RowsAreSkippedAndOldHostsPurged)
{
    {
        Session session(Path());
        session.factory.NewFilter(true)->SetName("Any");
        session.factory.SaveFilters();
    }
    Exec(Path(), "insert into FILTER_ADDRESS6 values (0, '2001:2::zz'); insert into HOSTNAMES6 "
                 "values ('2001:2::1', 'one'), ('2001:2::1%eth0', 'zone'), ('[2001:2::2]', 'b'), "
                 "(NULL, 'none'); insert into IP6_FILTER select 0, 2, '2001:2::', column1, 1 from "
                 "(values ('64'), ('129'), ('64x'), ('0064'), (NULL)); insert into IP6_FILTER "
                 "values (0, 0, 'x', '::', 1), (0, 1, '2001:2::1', '2001:2::zz', 1), (0, 0, "
                 "'2001:2::9', '::', 0); insert into HOSTS6 values (0, '2001:2::4', 1, 2, "
                 "'2000-01-01 00:00:00'), (0, NULL, 1, 2, NULL); insert into HOSTS6 select 0, "
                 "column1, 1, 2, datetime('now', 'localtime') from (values ('2001:2::1'), "
                 "('2001:2::1%eth0'), (''), (' 2001:2::2'), ('1.2.3.4'), ('1:2:3:4:5:6:7:8:9'));");
    const std::string seen = QueryRows(Path(), "select max(UPDATED) from HOSTS6;");

    Session session(Path());
    EXPECT_TRUE(session.store.PurgeOldRecords(30));
    EXPECT_EQ(QueryRows(Path(), "select count(*) from HOSTS6 where IP = '2001:2::4';"), "0\n");
    session.factory.LoadFilters();
    ASSERT_EQ(session.factory.GetCount(), 1u);
    EXPECT_EQ(Names6(Path()), "2001:2::1 one");
    ASSERT_EQ(unlink(Path().c_str()), 0);
    session.factory.SaveFilters(); // the file made again from what was loaded
    EXPECT_EQ(Tables(Path(), kIp6Tables),
              "FILTER_ADDRESS6:\nIP6_FILTER:\n0|0|2001:2::9|::|0\n0|2|2001:2::|64|1\nHOSTS6:\n"
              "0|2001:2::1|1.0|2.0|" +
                  seen);
    EXPECT_EQ(session.errors.Errors().size(), 1u); // the file deleted behind its back
}