#include "ui/COptionsSheet.h"
#include "DialogTestApp.h"
#include "capture/CAdapterManager.h"
#include "core/CKavoException.h"
#include "platform/Settings.h"
#include "ui/CDlgOptDatabase.h"
#include "ui/CDlgOptGeneral.h"
#include "ui/CDlgOptView.h"
#include "ui/controls/CColorPicker.h"
#include "ui/controls/CLineExample.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace
{
class OptionsSheetTest : public ::testing::Test
{
protected:
    OptionsSheetTest() : adapters([] { return std::vector<CaptureDevice>{}; })
    {
        EnsureDialogTestApp();
        ResetSettings();
    }
    ~OptionsSheetTest() override { ResetSettings(); }

    std::unique_ptr<COptionsSheet> MakeSheet(AdapterTables tables = NoTables())
    {
        return std::make_unique<COptionsSheet>(
            adapters,
            [this](QWidget*, const QString& text) { messages.push_back(text.toStdString()); },
            std::move(tables));
    }
    static AdapterTables NoTables()
    {
        AdapterTables tables;
        tables.interfaces = [] { return std::vector<InterfaceRow>{}; };
        tables.addresses = [] { return std::vector<IpAddressRow>{}; };
        return tables;
    }

    CAdapterManager adapters;
    std::vector<std::string> messages;
};
} // namespace

TEST_F(OptionsSheetTest, SavePeriodShowsWholeMinutesAndIsStoredBackAsMinutes)
{
    DB_AutoSave = 90000;
    auto sheet = MakeSheet();
    sheet->ShowPage(2);
    EXPECT_EQ(sheet->DatabasePage()->MinutesEdit()->text(), "1");
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(DB_AutoSave, 60000);
}

TEST_F(OptionsSheetTest, NumbersOutOfRangeAreRefusedAndNothingIsStored)
{
    DB_KeepRecords = 30;
    auto sheet = MakeSheet();
    sheet->ShowPage(2);
    CDlgOptDatabase& page = *sheet->DatabasePage();
    page.MinutesEdit()->setText(QStringLiteral("0"));
    EXPECT_FALSE(sheet->Confirm());
    EXPECT_EQ(messages.back(), "Please enter an integer between 1 and 120.");
    page.MinutesEdit()->setText(QStringLiteral("121"));
    EXPECT_FALSE(sheet->Confirm());
    EXPECT_EQ(messages.back(), "Please enter an integer between 1 and 120.");
    page.MinutesEdit()->setText(QStringLiteral("twelve"));
    EXPECT_FALSE(sheet->Confirm());
    EXPECT_EQ(messages.back(), "Please enter an integer.");
    page.MinutesEdit()->setText(QStringLiteral("120"));
    page.DaysEdit()->setText(QStringLiteral("366"));
    EXPECT_FALSE(sheet->Confirm());
    EXPECT_EQ(messages.back(), "Please enter an integer between 1 and 365.");
    EXPECT_EQ(DB_AutoSave, 300000);
    EXPECT_EQ(DB_KeepRecords, 30);

    page.DaysEdit()->setText(QStringLiteral("365"));
    page.AutoSaveBox()->setChecked(false);
    EXPECT_FALSE(page.MinutesEdit()->isEnabled());
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(DB_AutoSave, 120 * 60000);
    EXPECT_EQ(DB_KeepRecords, 365);
    EXPECT_EQ(DB_AutoSaveEnabled, 0);
}

TEST_F(OptionsSheetTest, UnknownLineStyleLeavesTheListEmptyAndTheValueKept)
{
    V_LineStyle = 7;
    auto sheet = MakeSheet();
    sheet->ShowPage(3);
    EXPECT_EQ(sheet->ViewPage()->StyleBox()->currentIndex(), -1);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(V_LineStyle, 7);

    sheet->ViewPage()->StyleBox()->setCurrentIndex(2); // "Dot"
    EXPECT_EQ(sheet->ViewPage()->Example()->GetLineStyle(), 2);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(V_LineStyle, 2);
}

TEST_F(OptionsSheetTest, OnlyOpenedPagesAreConfirmed)
{
    V_LineStyle = 7;
    auto sheet = MakeSheet();
    sheet->DatabasePage()->MinutesEdit()->setText(QStringLiteral("0"));
    sheet->GeneralPage()->HideBox()->setChecked(true);
    ASSERT_TRUE(sheet->Confirm()); // the database page was never opened: no check, no write
    EXPECT_EQ(G_Hide, 1);
    EXPECT_EQ(DB_AutoSave, 300000);
    EXPECT_EQ(V_LineStyle, 7);
    EXPECT_FALSE(sheet->WasOpened(1));
}

TEST_F(OptionsSheetTest, GeneralPageUnitAndDelimiter)
{
    G_CsvDelimiter = "|";
    G_View = 2;
    auto sheet = MakeSheet();
    CDlgOptGeneral& page = *sheet->GeneralPage();
    EXPECT_EQ(page.DelimiterBox()->currentText(), ",");
    EXPECT_EQ(page.UnitBox()->currentText(), "MBytes");
    page.UnitBox()->setCurrentIndex(3);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(G_View, 3);
    EXPECT_EQ(G_CsvDelimiter, ",");
}

TEST_F(OptionsSheetTest, AdapterPageStoresItsBoxesAndReportsUnreadableTables)
{
    auto sheet = MakeSheet();
    sheet->ShowPage(1);
    EXPECT_EQ(sheet->AdapterPage()->List()->topLevelItemCount(), 0);
    sheet->AdapterPage()->PromiscuousBox()->setChecked(true);
    sheet->AdapterPage()->CheckDriverBox()->setChecked(false);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(Adapter_PromiscMode, 1);
    EXPECT_EQ(Adapter_CheckDriver, 0);

    AdapterTables broken = NoTables();
    broken.interfaces = []() -> std::vector<InterfaceRow>
    { throw CKavoException("if_nameindex", 12, false); };
    auto failing = MakeSheet(broken);
    EXPECT_EQ(messages.size(), 0u); // built, and so failing, only when first opened
    EXPECT_EQ(failing->AdapterPage(), nullptr);
    failing->ShowPage(1);
    EXPECT_EQ(messages.back(), "Can't read interface table!");
    EXPECT_EQ(failing->AdapterPage()->List()->topLevelItemCount(), 0);
}

TEST_F(OptionsSheetTest, ColourChoicesGoToTheSettingsAsColourValues)
{
    V_ColorLine = 0x00E0E0E0;
    auto sheet = MakeSheet();
    sheet->ShowPage(3);
    CDlgOptView& page = *sheet->ViewPage();
    EXPECT_EQ(page.LinePicker()->GetColor(), QColor(0xE0, 0xE0, 0xE0));
    page.LinePicker()->Choose(QColor(1, 2, 3));
    page.SecondPicker()->Choose(QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(page.Example()->GetLineColor(), QColor(1, 2, 3));
    page.HilightBox()->setChecked(false);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(V_ColorLine, 0x00030201);
    EXPECT_EQ(V_ColorSec, 0x00302010);
    EXPECT_EQ(V_ColorFirst, 0x00F7F4F4);
    EXPECT_EQ(V_ColorHilight, 0);
}
