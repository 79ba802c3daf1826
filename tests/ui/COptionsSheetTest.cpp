#include "ui/COptionsSheet.h"
#include "UiTestSupport.h"
#include "capture/CAdapterManager.h"
#include "core/CKavoException.h"
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
struct OptionsSheetTest : testing::Test
{
    std::unique_ptr<COptionsSheet> MakeSheet()
    {
        return std::make_unique<COptionsSheet>(adapters, messages.Recorder(), tables);
    }

    FreshSettings settings;
    CAdapterManager adapters{[] { return std::vector<CaptureDevice>{}; }};
    MessageLog messages;
    AdapterTables tables{[] { return std::vector<InterfaceRow>{}; },
                         [] { return std::vector<IpAddressRow>{}; }};
};
} // namespace

TEST_F(OptionsSheetTest, NumbersOutOfRangeAreRefusedAndNothingIsStored)
{
    DB_AutoSave = 90000;
    DB_KeepRecords = 30;
    auto sheet = MakeSheet();
    sheet->ShowPage(2);
    CDlgOptDatabase& page = *sheet->DatabasePage();
    EXPECT_EQ(page.MinutesEdit()->text(), "1"); // whole minutes
    // Minutes, days, the refusal.
    const std::tuple<const char*, const char*, const char*> refused[] = {
        {"0", "30", "Please enter an integer between 1 and 120."},
        {"121", "30", "Please enter an integer between 1 and 120."},
        {"twelve", "30", "Please enter an integer."},
        {"120", "0", "Please enter an integer between 1 and 365."},
        {"120", "366", "Please enter an integer between 1 and 365."}};
    for (const auto& [minutes, days, refusal] : refused)
    {
        SCOPED_TRACE(refusal);
        page.MinutesEdit()->setText(QString::fromLatin1(minutes));
        page.DaysEdit()->setText(QString::fromLatin1(days));
        EXPECT_FALSE(sheet->Confirm());
        EXPECT_EQ(std::tuple(messages.Last(), DB_AutoSave, DB_KeepRecords),
                  std::tuple(refusal, 90000, 30));
    }
    page.DaysEdit()->setText(QStringLiteral("365"));
    page.AutoSaveBox()->setChecked(false);
    EXPECT_FALSE(page.MinutesEdit()->isEnabled());
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(std::tuple(DB_AutoSave, DB_KeepRecords, DB_AutoSaveEnabled),
              std::tuple(120 * 60000, 365, 0));
}

TEST_F(OptionsSheetTest, OnlyOpenedPagesAreWrittenAndUnknownValuesAreKept)
{
    V_LineStyle = 7;
    V_ColorLine = 0x00E0E0E0;
    G_CsvDelimiter = "|";
    G_View = 2;
    auto sheet = MakeSheet();
    CDlgOptGeneral& general = *sheet->GeneralPage();
    EXPECT_EQ(general.DelimiterBox()->currentText() + general.UnitBox()->currentText(), ",MBytes");
    general.UnitBox()->setCurrentIndex(3);
    general.HideBox()->setChecked(true);
    sheet->DatabasePage()->MinutesEdit()->setText(QStringLiteral("0"));
    ASSERT_TRUE(sheet->Confirm()); // the database page was never opened: no check, no write
    EXPECT_EQ(
        std::tuple(G_Hide, G_View, G_CsvDelimiter, DB_AutoSave, V_LineStyle, sheet->WasOpened(1)),
        std::tuple(1, 3, ",", 300000, 7, false));

    sheet->ShowPage(3);
    CDlgOptView& view = *sheet->ViewPage();
    EXPECT_EQ(std::pair(view.StyleBox()->currentIndex(), view.LinePicker()->GetColor()),
              std::pair(-1, QColor(0xE0, 0xE0, 0xE0)));
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(V_LineStyle, 7);

    view.StyleBox()->setCurrentIndex(2); // "Dot"
    view.LinePicker()->Choose(QColor(1, 2, 3));
    view.SecondPicker()->Choose(QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(std::pair(view.Example()->GetLineStyle(), view.Example()->GetLineColor()),
              std::pair(2, QColor(1, 2, 3)));
    view.HilightBox()->setChecked(false);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(std::tuple(V_LineStyle, V_ColorLine, V_ColorSec, V_ColorFirst, V_ColorHilight),
              std::tuple(2, 0x00030201, 0x00302010, 0x00F7F4F4, 0));
}

TEST_F(OptionsSheetTest, AdapterPageStoresItsBoxesAndReportsUnreadableTables)
{
    auto sheet = MakeSheet();
    sheet->ShowPage(1);
    EXPECT_EQ(sheet->AdapterPage()->List()->topLevelItemCount(), 0);
    sheet->AdapterPage()->CheckDriverBox()->setChecked(false);
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(Adapter_CheckDriver, 0);

    tables.interfaces = []() -> std::vector<InterfaceRow>
    { throw CKavoException("if_nameindex", 12, false); };
    auto failing = MakeSheet();
    // Built, and so failing, only when first opened.
    EXPECT_EQ(std::tuple(messages.Last(), failing->AdapterPage()), std::tuple("", nullptr));
    failing->ShowPage(1);
    EXPECT_EQ(std::pair(messages.Last(), failing->AdapterPage()->List()->topLevelItemCount()),
              std::pair(std::string("Can't read interface table!"), 0));
}
