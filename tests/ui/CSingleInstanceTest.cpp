#include "ui/CSingleInstance.h"
#include "UiTestSupport.h"
#include "testsupport/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>

TEST(CSingleInstance, OneOfTwoCopiesWinsOverAStaleSocketAndTheOtherBringsItForward)
{
    TempDir folder;
    const QString path = QString::fromStdString(folder.Path().string());
    // A socket file left behind by a crashed copy.
    ASSERT_TRUE(QFile(path + "/" + CSingleInstance::kMessage).open(QIODevice::WriteOnly));
    {
        CSingleInstance first(path);
        CSingleInstance second(path);
        EXPECT_TRUE(first.Acquire());
        EXPECT_TRUE(std::filesystem::is_socket(folder.File(CSingleInstance::kMessage)));
        EXPECT_FALSE(second.Acquire());
        int shown = 0;
        QObject::connect(&first, &CSingleInstance::ShowRequested, [&shown] { ++shown; });
        // Answered while the first copy runs its event loop (the second asks from its own thread).
        auto asked =
            std::async(std::launch::async, [&second] { return second.AskFirstToShow(5000); });
        ASSERT_TRUE(ProcessEventsUntil(
            [&asked]
            { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        EXPECT_EQ(std::pair(asked.get(), shown), std::pair(true, 1));
        // Nobody answers a copy while the first one is busy: it gives up rather than hang.
        EXPECT_FALSE(second.AskFirstToShow(100));
    }
    CSingleInstance later(path);
    EXPECT_TRUE(later.Acquire());
}
