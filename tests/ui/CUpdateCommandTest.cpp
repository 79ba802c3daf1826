#include "ui/CUpdateCommand.h"
#include "UiTestSupport.h"
#include "platform/Settings.h"
#include "testsupport/LocalHttpServer.h"
#include "ui/CDlgUpdateVersion.h"
#include "ui/UpdateAddress.h"

#include <QAction>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// A newer version is offered with its changes, one that does not parse shows nothing, and a server
// that stays silent disables the command until the limit, without a dialog. The reply arrives in
// two pieces, the headers first.
TEST(CUpdateCommand, TheCommandIsOffWhileItChecksAndOffersOnlyANewerVersion)
{
    for (const char* version : {"2.10.0.0", "2.6.1.x", ""})
    {
        SCOPED_TRACE(version);
        const bool silent = *version == 0;
        const std::vector<std::string> reply{"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n",
                                             "<?xml version=\"1.0\"?><Ombrix><Version>" +
                                                 std::string(version) +
                                                 "</Version><Changes>A</Changes></Ombrix>"};
        LocalHttpServer server(silent ? std::vector<std::string>{} : reply);
        QStringList shown;
        QWidget window;
        auto* action = new QAction(QStringLiteral("&Check for update now"), &window);
        auto* command = new CUpdateCommand(
            action, &window,
            std::make_unique<CVersionChecker>("127.0.0.1", server.Port(), silent ? 300ms : 60s));
        command->SetShowFunction([&shown](const QString& text) { shown << text; });
        QSignalSpy finished(command, &CUpdateCommand::CheckFinished);
        action->trigger();
        EXPECT_FALSE(action->isEnabled());
        if (silent) // a second trigger while running does nothing
        {
            EXPECT_TRUE(command->IsChecking());
            command->CheckNow();
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return finished.count() > 0; }));
        QApplication::processEvents();
        // The text itself is the reply parser's test.
        EXPECT_EQ(shown.join('#').left(15),
                  std::string(version) == "2.10.0.0" ? "Ombrix 2.10.0.0" : "");
        EXPECT_TRUE(action->isEnabled());
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
        const auto address = ParseUpdateUrl(url).value_or(UpdateAddress{});
        EXPECT_EQ(address.host + " " + std::to_string(address.port) + " " + address.path, expected);
    }
    for (const char* url : {"", "https://a/x", "http://a", "http://a:0/x", "http://a:65536/x",
                            "http://a:/x", "http://user@a/x", "http://[::1]/x", "http://-a.b/x",
                            "http://a..b/x", "http://a/x y", "http://a/x#top", " http://a/x"})
        EXPECT_FALSE(ParseUpdateUrl(url).has_value()) << url;

    // Without a usable address the command is greyed out, says why and never starts.
    FreshSettings settings;
    for (const char* url : {"ftp://a/x", "http://198.18.0.9:8080/v"})
    {
        SCOPED_TRACE(url);
        G_UpdateUrl = url;
        QAction action(QStringLiteral("&Check for update now"));
        CUpdateCommand command(&action, nullptr);
        const bool usable = *url == 'h';
        if (!usable)
            command.CheckNow();
        EXPECT_EQ(std::tuple(command.IsConfigured(), action.isEnabled(), command.IsChecking()),
                  std::tuple(usable, usable, false));
        EXPECT_EQ(action.toolTip().contains("G_UpdateUrl"), !usable);
    }
}

TEST(CDlgUpdateVersion, TextCannotBeEditedAndIsPlain)
{
    CDlgUpdateVersion dialog(QStringLiteral("<b>bold</b>\r\nline"));
    QPlainTextEdit* edit = dialog.TextEdit();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(edit, &press);
    EXPECT_EQ(edit->toPlainText(), "<b>bold</b>\nline");
}
