#include "ui/CUpdateCommand.h"
#include "../update/LocalHttpServer.h"
#include "UiTestSupport.h"
#include "platform/Settings.h"
#include "ui/CDlgUpdateVersion.h"
#include "ui/UpdateAddress.h"

#include <QAction>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QWidget>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace
{
const std::string kHeaders = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n";

struct Harness
{
    explicit Harness(uint16_t port, std::chrono::milliseconds limit)
    {
        action = new QAction(QStringLiteral("&Check for update now"), &window);
        command = new CUpdateCommand(action, &window,
                                     std::make_unique<CVersionChecker>("127.0.0.1", port, limit));
        command->SetShowFunction([this](const QString& text) { shown.push_back(text); });
        QObject::connect(command, &CUpdateCommand::CheckFinished, [this] { finished = true; });
    }
    QWidget window;
    QAction* action;
    CUpdateCommand* command;
    std::vector<QString> shown;
    bool finished = false;
};
} // namespace

TEST(CUpdateCommand, ANewerVersionIsOfferedAndOneThatDoesNotParseShowsNothing)
{
    for (const char* version : {"2.10.0.0", "2.6.1.x"})
    {
        SCOPED_TRACE(version);
        // The reply arrives in two pieces, the headers first.
        LocalHttpServer server(
            {kHeaders, std::string("<?xml version=\"1.0\"?><Ombrix><Version>") + version +
                           "</Version><Changes>\tA\n\tB\r\nC\t</Changes></Ombrix>"});
        Harness harness(server.Port(), 60s);
        harness.action->trigger();
        EXPECT_FALSE(harness.action->isEnabled());
        ASSERT_TRUE(ProcessEventsUntil([&] { return harness.finished; }));
        QApplication::processEvents();
        EXPECT_EQ(harness.shown.empty() ? "" : harness.shown[0].toStdString(),
                  version[2] == '1' ? "Ombrix 2.10.0.0 is available to download on our "
                                      "site.\r\n\r\nWhat's new:\r\nA\r\nB\r\nC"
                                    : "");
        EXPECT_TRUE(harness.action->isEnabled());
    }
}

TEST(CUpdateCommand, TheFeedAddressIsASettingReadStrictly)
{
    // "host port path" of the addresses taken; the others are refused.
    const std::pair<const char*, const char*> taken[] = {
        {"http://updates.example.net/ombrix/version.xml",
         "updates.example.net 80 /ombrix/version.xml"},
        {"HTTP://198.18.0.9:8080/v?id=2", "198.18.0.9 8080 /v?id=2"},
        {"http://a:1/", "a 1 /"},
        {"http://a:65535/x", "a 65535 /x"}};
    for (const auto& [url, expected] : taken)
    {
        const auto address = ParseUpdateUrl(url);
        ASSERT_TRUE(address.has_value()) << url;
        EXPECT_EQ(address->host + " " + std::to_string(address->port) + " " + address->path,
                  expected);
    }
    for (const char* url : {"", "https://a/x", "http://a", "http://a:0/x", "http://a:65536/x",
                            "http://a:/x", "http://user@a/x", "http://[::1]/x", "http://-a.b/x",
                            "http://a..b/x", "http://a/x y", "http://a/x#top", " http://a/x"})
        EXPECT_FALSE(ParseUpdateUrl(url).has_value()) << url;

    // Without a usable address the command is greyed out, says why and never starts.
    ResetSettings();
    for (const char* url : {"", "ftp://a/x", "http://198.18.0.9:8080/v"})
    {
        SCOPED_TRACE(url);
        G_UpdateUrl = url;
        QWidget window;
        QAction action(QStringLiteral("&Check for update now"), &window);
        CUpdateCommand command(&action, &window);
        const bool usable = *url == 'h';
        EXPECT_EQ(command.IsConfigured(), usable);
        EXPECT_EQ(action.isEnabled(), usable);
        if (!usable)
        {
            action.trigger();
            EXPECT_FALSE(command.IsChecking());
            EXPECT_TRUE(action.toolTip().contains("G_UpdateUrl"));
        }
    }
    ResetSettings();
}

TEST(CUpdateCommand, SilentServerDisablesTheCommandUntilTheLimitWithoutDialog)
{
    LocalHttpServer server({});
    Harness harness(server.Port(), 300ms);
    harness.action->trigger();
    EXPECT_FALSE(harness.action->isEnabled());
    EXPECT_TRUE(harness.command->IsChecking());
    // A second trigger while running does nothing.
    harness.command->CheckNow();
    ASSERT_TRUE(ProcessEventsUntil([&] { return harness.finished; }));
    EXPECT_TRUE(harness.action->isEnabled());
    EXPECT_TRUE(harness.shown.empty());
}

TEST(CDlgUpdateVersion, TextCannotBeEditedAndIsPlain)
{
    CDlgUpdateVersion dialog(QStringLiteral("<b>bold</b>\r\nline"));
    QPlainTextEdit* edit = dialog.TextEdit();
    EXPECT_EQ(edit->toPlainText(), "<b>bold</b>\nline");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(edit, &press);
    EXPECT_EQ(edit->toPlainText(), "<b>bold</b>\nline");
}
