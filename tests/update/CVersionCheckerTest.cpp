#include "update/CVersionChecker.h"
#include "LocalHttpServer.h"
#include "core/CKavoEvent.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace std::chrono_literals;

namespace
{
const std::string kXml = "<?xml version=\"1.0\"?>";
const std::string kBody = kXml + "<Ombrix><Version>2.10.0.0</Version>"
                                 "<Changes>Faster start.\n\tNew icons.</Changes></Ombrix>";

class CRecordingListener final : public IVersionListener
{
public:
    void OnVersionInfo(const std::string& text) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_texts.push_back(text);
        }
        called.Set();
    }
    std::vector<std::string> Texts()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }
    CKavoEvent called{CKavoEvent::Reset::Manual};

private:
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

// Waits for the check to end without a fixed sleep; gives up after a generous bound.
bool WaitIdle(const CVersionChecker& checker)
{
    for (int i = 0; i < 2000 && checker.IsRunning(); ++i)
        std::this_thread::sleep_for(5ms);
    return !checker.IsRunning();
}
} // namespace

TEST(CVersionChecker, SendsRequestAndPassesReplyFromXmlDeclaration)
{
    // The server keeps the connection open: only the closing tag can end the read in time.
    LocalHttpServer server({"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n", kBody});
    CRecordingListener listener;
    CVersionChecker checker("127.0.0.1", server.Port(), 60s);
    checker.Check(&listener);
    ASSERT_TRUE(listener.called.Wait(20s));
    ASSERT_TRUE(WaitIdle(checker));

    EXPECT_EQ(server.Request(), "GET /cgi-bin/kavo_version.cgi?id=2&ver=2.6.1.0 HTTP/1.0\r\n"
                                "Host: 127.0.0.1\r\nAccept: text/*\r\n"
                                "User-Agent: Ombrix 2.6.1.0\r\n\r\n");
    ASSERT_EQ(listener.Texts().size(), 1u);
    EXPECT_EQ(listener.Texts()[0], kBody);
}

TEST(CVersionChecker, AppendsExactlyTheBytesReceived)
{
    // A first read of a full 512-byte buffer followed by a short one: stale buffer bytes must
    // not leak into the reply, and an embedded NUL does not cut it.
    const std::string padding(512 - kXml.size(), 'x');
    const std::string first = kXml + padding;
    const std::string second = std::string("a\0b", 3) + "</Ombrix>";
    LocalHttpServer server({first, second}, true);
    CRecordingListener listener;
    CVersionChecker checker("127.0.0.1", server.Port(), 60s);
    checker.Check(&listener);
    ASSERT_TRUE(listener.called.Wait(20s));
    ASSERT_EQ(listener.Texts().size(), 1u);
    EXPECT_EQ(listener.Texts()[0], first + second);
}

TEST(CVersionChecker, CapsTheReply)
{
    const std::string flood = kXml + std::string(200 * 1024, 'y');
    LocalHttpServer server({flood}, false);
    CRecordingListener listener;
    CVersionChecker checker("127.0.0.1", server.Port(), 60s);
    checker.Check(&listener);
    ASSERT_TRUE(listener.called.Wait(20s));
    ASSERT_EQ(listener.Texts().size(), 1u);
    EXPECT_EQ(listener.Texts()[0].size(), CVersionChecker::kReplyLimit);
}

TEST(CVersionChecker, SilentServerEndsAtTheLimitWithoutAnswer)
{
    LocalHttpServer server({});
    CRecordingListener listener;
    CVersionChecker checker("127.0.0.1", server.Port(), 300ms);
    checker.Check(&listener);
    EXPECT_TRUE(checker.IsRunning());
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_TRUE(listener.Texts().empty());

    // The next check runs again.
    checker.Check(&listener);
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_TRUE(listener.Texts().empty());
}

TEST(CVersionChecker, ReplyWithoutDeclarationAndRefusedConnectionStaySilent)
{
    {
        LocalHttpServer server({"HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>"}, true);
        CRecordingListener listener;
        CVersionChecker checker("127.0.0.1", server.Port(), 60s);
        checker.Check(&listener);
        ASSERT_TRUE(WaitIdle(checker));
        EXPECT_TRUE(listener.Texts().empty());
    }
    uint16_t closedPort = 0;
    {
        LocalHttpServer server({}, true);
        closedPort = server.Port();
    }
    CRecordingListener listener;
    CVersionChecker checker("127.0.0.1", closedPort, 60s);
    checker.Check(&listener);
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_TRUE(listener.Texts().empty());
}

TEST(CVersionChecker, StopAbandonsAHangingExchange)
{
    LocalHttpServer server({});
    CRecordingListener listener;
    {
        // A limit far beyond the test's own time-out: only abandoning lets the test end.
        CVersionChecker checker("127.0.0.1", server.Port(), 3600s);
        checker.Check(&listener);
        std::this_thread::sleep_for(50ms);
        checker.Stop();
        EXPECT_FALSE(checker.IsRunning());
    }
    {
        CVersionChecker checker("127.0.0.1", server.Port(), 3600s);
        checker.Check(&listener);
        // Destroyed while running.
    }
    EXPECT_TRUE(listener.Texts().empty());
}

TEST(CVersionChecker, AbandonsAnUnresolvableNameAtTheLimit)
{
    CRecordingListener listener;
    CVersionChecker checker("no-such-host.invalid", 80, 300ms);
    checker.Check(&listener);
    ASSERT_TRUE(WaitIdle(checker));
    EXPECT_TRUE(listener.Texts().empty());
}

TEST(CVersionChecker, ResolvesAHostName)
{
    LocalHttpServer server({kBody});
    CRecordingListener listener;
    CVersionChecker checker("localhost", server.Port(), 60s);
    checker.Check(&listener);
    ASSERT_TRUE(listener.called.Wait(20s));
    EXPECT_NE(server.Request().find("Host: localhost\r\n"), std::string::npos);
}
