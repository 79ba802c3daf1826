#include "app/CEngine.h"
#include "app/CConsoleErrors.h"
#include "app/CLocalNetworks.h"
#include "lookup/CHostNameCache.h"
#include "testsupport/TempDir.h"

#include "RunOmbrix.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <memory>

// A name server that never answers must hold up neither the end nor the last save.
TEST(CEngine, StuckNameServerHoldsUpNeitherTheEndNorTheSave)
{
    auto answer = std::make_shared<CKavoEvent>(CKavoEvent::Reset::Manual);
    auto asked = std::make_shared<CKavoEvent>(CKavoEvent::Reset::Manual);
    // Answers "not found" once the test lets it.
    const auto stuck = [answer, asked](uint32_t, std::string&)
    {
        asked->Set();
        return !answer->Wait();
    };
    CHostNameCache::Instance().SetResolver({stuck, {}});
    TempDir dir;
    const std::string db = dir.File("stuck.db");
    CDatabaseLock writer(db);
    ASSERT_TRUE(writer.Acquire());
    CConsoleErrors errors;
    CLocalNetworks local(PrivateNetworks(), PrivateNetworks6());
    auto engine = std::make_unique<CEngine>(errors);
    ASSERT_TRUE(engine->Start({.databasePath = db,
                               .localTest = &local,
                               .defaultNetworks = local.AsAddressTable(),
                               .writerLock = &writer}));
    const PacketInfo packet{.sourceAddress = inet_addr("198.18.0.1"),
                            .destinationAddress = inet_addr("192.168.1.10"),
                            .length = 1000,
                            .time = 1714903200};
    engine->GetQueue().PushBatch(&packet, 1);
    engine->Drain();
    engine->RequestHostNames();
    ASSERT_TRUE(asked->Wait(std::chrono::seconds(10)));

    const auto start = std::chrono::steady_clock::now();
    engine.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(writer.IsHeld());
    EXPECT_EQ(QueryRows(db, "select RECV from MAIN where ID = 0"), "1000.0\n");
    EXPECT_EQ(QueryRows(db, "select IP, RECV from HOSTS where ID = 0"), "198.18.0.1|1000.0\n");
    answer->Set();
}
