#include "ui/CUpdateCommand.h"
#include "../update/LocalHttpServer.h"
#include "DialogTestApp.h"
#include "ui/CDlgUpdateVersion.h"

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
    explicit Harness(uint16_t port, std::chrono::milliseconds limit) : app(EnsureDialogTestApp())
    {
        action = new QAction(QStringLiteral("&Check for update now"), &window);
        command = new CUpdateCommand(action, &window,
                                     std::make_unique<CVersionChecker>("127.0.0.1", port, limit));
        command->SetShowFunction([this](const QString& text) { shown.push_back(text); });
        QObject::connect(command, &CUpdateCommand::CheckFinished, [this] { finished = true; });
    }
    QApplication* app;
    QWidget window;
    QAction* action;
    CUpdateCommand* command;
    std::vector<QString> shown;
    bool finished = false;
};
} // namespace

TEST(CUpdateCommand, CurrentVersionShowsLatestText)
{
    LocalHttpServer server({kHeaders + "<?xml version=\"1.0\"?><Ombrix><Version>2.6.1.0"
                                       "</Version><Changes>None.</Changes></Ombrix>"});
    Harness harness(server.Port(), 60s);
    harness.action->trigger();
    EXPECT_FALSE(harness.action->isEnabled());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !harness.shown.empty() && harness.finished; }));
    EXPECT_EQ(harness.shown, std::vector<QString>{"You are using the latest version."});
    EXPECT_TRUE(harness.action->isEnabled());
}

TEST(CUpdateCommand, NewerVersionIsOffered)
{
    LocalHttpServer server({kHeaders, "<?xml version=\"1.0\"?><Ombrix><Version>2.10.0.0"
                                      "</Version><Changes>A\n\tB</Changes></Ombrix>"});
    Harness harness(server.Port(), 60s);
    harness.command->CheckNow();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !harness.shown.empty(); }));
    EXPECT_EQ(harness.shown[0].toStdString(),
              "Ombrix 2.10.0.0 is available to download on our site.\r\n\r\nWhat's new:\r\nA\r\nB");
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
    EnsureDialogTestApp();
    CDlgUpdateVersion dialog(QStringLiteral("<b>bold</b>\r\nline"));
    QPlainTextEdit* edit = dialog.TextEdit();
    EXPECT_EQ(edit->toPlainText(), "<b>bold</b>\nline");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(edit, &press);
    EXPECT_EQ(edit->toPlainText(), "<b>bold</b>\nline");
}
