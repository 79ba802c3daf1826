#include "ui/DialogCommands.h"
#include "DialogTestApp.h"
#include "filters/CFilterFactory.h"
#include "ui/CFilterSheet.h"
#include "ui/CommandIds.h"

#include <QTimer>

#include <gtest/gtest.h>

namespace
{
// Closes the next modal dialog that opens with reject() (or accept()).
void AnswerNextDialog(bool accept)
{
    QTimer::singleShot(0,
                       [accept]
                       {
                           if (auto* dialog =
                                   qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                               accept ? dialog->accept() : dialog->reject();
                       });
}
} // namespace

TEST(DialogCommands, AddReturnsTheFilterOnlyAfterOk)
{
    EnsureDialogTestApp();
    CFilterFactory manager;
    std::vector<QString> messages;
    auto record = [&](QWidget*, const QString& text) { messages.push_back(text); };

    AnswerNextDialog(false);
    EXPECT_EQ(RunAddFilterCommand(nullptr, manager, record), nullptr);
    EXPECT_EQ(manager.GetCount(), 0u);

    AnswerNextDialog(true);
    CFilter* added = RunAddFilterCommand(nullptr, manager, record);
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(added->IsEnabled());
    EXPECT_EQ(manager.GetCount(), 1u);

    added->SetEnabled(false);
    AnswerNextDialog(false);
    EXPECT_FALSE(RunEditFilterCommand(nullptr, manager, added, record));
    EXPECT_TRUE(added->IsEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST(DialogCommands, ManualIsLookedForBesideTheInstalledProgram)
{
    const QStringList candidates = ManualCandidates(QStringLiteral("/usr/lib/ombrix"));
    EXPECT_EQ(candidates.front(), "/usr/lib/ombrix/../../share/doc/Ombrix/README.md");
}

TEST(DialogCommands, HandleDialogCommandRoutesAddAndEditToTheView)
{
    EnsureDialogTestApp();
    CFilterFactory manager;
    std::vector<CFilter*> added;
    std::vector<std::pair<CFilter*, bool>> edited;
    DialogCommandContext context;
    context.filters = &manager;
    context.filterAdded = [&](CFilter* filter) { added.push_back(filter); };
    context.filterEdited = [&](CFilter* filter, bool ok) { edited.emplace_back(filter, ok); };

    EXPECT_FALSE(HandleDialogCommand(ID_FILTER_REMOVE, nullptr, nullptr, context));
    EXPECT_FALSE(IsDialogCommandId(ID_FILTER_REMOVE));

    AnswerNextDialog(false);
    EXPECT_TRUE(HandleDialogCommand(ID_FILTER_ADD, nullptr, nullptr, context));
    EXPECT_TRUE(added.empty());
    AnswerNextDialog(true);
    EXPECT_TRUE(HandleDialogCommand(ID_FILTER_ADD, nullptr, nullptr, context));
    ASSERT_EQ(added.size(), 1u);

    // Edit without a selected filter opens nothing.
    EXPECT_TRUE(HandleDialogCommand(ID_FILTER_EDIT, nullptr, nullptr, context));
    EXPECT_TRUE(edited.empty());
    AnswerNextDialog(false);
    EXPECT_TRUE(HandleDialogCommand(ID_FILTER_EDIT, nullptr, added[0], context));
    ASSERT_EQ(edited.size(), 1u);
    EXPECT_EQ(edited[0], std::make_pair(added[0], false));
}
