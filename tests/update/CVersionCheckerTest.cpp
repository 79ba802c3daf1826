#include "update/CVersionChecker.h"
#include "testsupport/LocalHttpServer.h"
#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace
{
const std::string kXml = "<?xml version=\"1.0\"?>";
const std::string kHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n";
const std::string kBody = kXml + "<Ombrix><Version>2.10.0.0</Version>"
                                 "<Changes>Faster start.\n\tNew icons.</Changes></Ombrix>";

// Read only once the check ended: the checker calls before it clears its running flag.
struct CRecordingListener final : IVersionListener
{
    void OnVersionInfo(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};
} // namespace

TEST(CVersionChecker, PassesTheReplyFromItsXmlDeclarationOn)
{
    const std::string full = kXml + std::string(512 - kXml.size(), 'x');
    const std::string flood = kXml + std::string(200 * 1024, 'y');
    const std::string tail = std::string("a\0b", 3) + "</Ombrix>";
    const std::string capped = flood.substr(0, CVersionChecker::kReplyLimit - kHeader.size());
    // Host, what the server sends, whether it closes the connection then, and the text passed on.
    const std::tuple<std::string, std::vector<std::string>, bool, std::vector<std::string>>
        cases[] = {
            // The server keeps the connection open: only the closing tag can end the read in time.
            {"127.0.0.1", {kHeader, kBody}, false, {kBody}},
            // Not a dotted quad: found by the resolver thread, yet without the machine's name
            // service.
            {"127.1", {kBody}, false, {kBody}},
            // Stale bytes of a full buffer must not follow a short read; a NUL does not cut.
            {"127.0.0.1", {full, tail}, true, {full + tail}},
            // A header read alone puts the end of the cap inside a read.
            {"127.0.0.1", {kHeader, flood}, false, {capped}},
            // No XML declaration.
            {"127.0.0.1", {"HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>"}, true, {}}};
    for (const auto& [host, chunks, close, expected] : cases)
    {
        SCOPED_TRACE(host + " " + std::to_string(chunks.size()) + " chunks");
        LocalHttpServer server(chunks, close);
        CRecordingListener listener;
        CVersionChecker checker(host, server.Port(), 60s);
        checker.Check(&listener);
        ASSERT_TRUE(WaitUntil([&] { return !checker.IsRunning(); }));
        EXPECT_EQ(listener.texts, expected);
        EXPECT_EQ(server.Request(),
                  "GET /cgi-bin/kavo_version.cgi?id=2&ver=2.6.1.0 HTTP/1.0\r\nHost: " + host +
                      "\r\nAccept: text/*\r\nUser-Agent: Ombrix 2.6.1.0\r\n\r\n");
    }
}

// A refused connection, a host that does not resolve, a silent server; a check after one that
// ran out of time runs again.
TEST(CVersionChecker, EndsWithoutAnswerWhenNothingCanBeReached)
{
    const uint16_t closedPort = LocalHttpServer({}, true).Port();
    LocalHttpServer silent({});
    CVersionChecker refused("127.0.0.1", closedPort, 60s);
    CVersionChecker unresolvable("no-such-host.invalid", 80, 300ms);
    CVersionChecker timedOut("127.0.0.1", silent.Port(), 200ms);
    CRecordingListener listener;
    for (CVersionChecker* checker : {&refused, &unresolvable, &timedOut, &timedOut})
    {
        checker->Check(&listener);
        // A refused or unresolvable check may end before this line; a silent server holds it.
        EXPECT_TRUE(checker != &timedOut || checker->IsRunning());
        ASSERT_TRUE(WaitUntil([&] { return !checker->IsRunning(); }));
    }
    EXPECT_TRUE(listener.texts.empty());
}

TEST(CVersionChecker, StopAbandonsAHangingExchangeAtOnce)
{
    LocalHttpServer server({});
    CRecordingListener listener;
    {
        // Without the wake-up, Stop would wait for the current one-second slice of the poll.
        CVersionChecker checker("127.0.0.1", server.Port(), 3600s);
        checker.Check(&listener);
        std::this_thread::sleep_for(50ms);
        const auto start = std::chrono::steady_clock::now();
        checker.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 700ms);
        EXPECT_FALSE(checker.IsRunning());
        // Destroyed while running.
        CVersionChecker running("127.0.0.1", server.Port(), 3600s);
        running.Check(&listener);
    }
    EXPECT_TRUE(listener.texts.empty());
}
