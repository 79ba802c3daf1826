#include "ui/CSingleInstance.h"
#include "UiTestSupport.h"
#include "testsupport/TempDir.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

// Run as a second process by the test below: the copy that finds the first one running.
TEST(SingleInstanceChild, AsksTheFirstCopy)
{
    const char* folder = std::getenv("OMBRIX_TEST_INSTANCE_FOLDER");
    if (folder == nullptr)
        GTEST_SKIP() << "only as the second process of SecondProcessBringsTheFirstForward";
    CSingleInstance second(QString::fromLocal8Bit(folder));
    ASSERT_FALSE(second.Acquire());
    ASSERT_TRUE(second.AskFirstToShow(5000));
}

TEST(CSingleInstance, SecondProcessBringsTheFirstForward)
{
    TempDir folder;
    const QString path = QString::fromStdString(folder.Path().string());
    CSingleInstance first(path);
    ASSERT_TRUE(first.Acquire());
    int shown = 0;
    QObject::connect(&first, &CSingleInstance::ShowRequested, [&shown] { ++shown; });

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OMBRIX_TEST_INSTANCE_FOLDER", path);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QApplication::applicationFilePath(),
                {"--gtest_filter=SingleInstanceChild.AsksTheFirstCopy"});
    ASSERT_TRUE(
        ProcessEventsUntil([&child] { return child.state() == QProcess::NotRunning; }, 20000));
    QApplication::processEvents();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(shown, 1);
}

TEST(CSingleInstance, OneOfTwoCopiesWinsOverAStaleSocketAndALaterOneAfterIt)
{
    TempDir folder;
    const QString path = QString::fromStdString(folder.Path().string());
    {
        // A socket file left behind by a crashed copy.
        QFile stale(path + "/" + CSingleInstance::kMessage);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    {
        CSingleInstance first(path);
        CSingleInstance second(path);
        EXPECT_TRUE(first.Acquire());
        EXPECT_TRUE(std::filesystem::is_socket(folder.File(CSingleInstance::kMessage)));
        EXPECT_FALSE(second.Acquire());
        // Nobody answers a copy while the first one is busy: it gives up rather than hang.
        EXPECT_FALSE(second.AskFirstToShow(100));
    }
    CSingleInstance later(path);
    EXPECT_TRUE(later.Acquire());
}
