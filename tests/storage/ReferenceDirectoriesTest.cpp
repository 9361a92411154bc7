#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "storage/Database.h"
#include "storage/InputHistory.h"
#include "storage/ReferenceDirectories.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawRows;
using zorvex::test::TempDir;

namespace {

class ReferenceDirectories : public ::testing::Test {
protected:
    void SetUp() override { SetMainDatabase(OpenDatabase(file)); }
    void TearDown() override { SetMainDatabase(nullptr); }

    TempDir dir;
    const std::string file = dir.File("data.db");
};

using Rows = std::vector<TDirectoryRow>;

}  // namespace

TEST_F(ReferenceDirectories, AnEntryWithAnApostropheIsStoredListedAndRemembered) {
    // The editor hands over its rows below the header, the empty last row included.
    SaveDirectory("orgs", {{"O'Brien", "Dublin, 1", "7700"}, {"", "", ""}});

    EXPECT_EQ(RawRows(file, "select name, address, inn from orgs"),
              (std::vector<std::vector<std::string>>{{"O'Brien", "Dublin, 1", "7700"}}));
    EXPECT_EQ(LoadDirectory("orgs").rows, (Rows{{"O'Brien", "Dublin, 1", "7700"}}));
    EXPECT_EQ(PickerItems("orgs"), std::vector<std::string>{"O'Brien ИНН 7700"});
    EXPECT_EQ(HistoryTexts(1), std::vector<std::string>{"O'Brien ИНН 7700"});
}

TEST_F(ReferenceDirectories, DevicesShowTheirDateInTheEditorButNotInThePicker) {
    SaveDirectory("devices", {{"ИЭП-05", "321", "45678-10", "01.02.2010"}, {"П3-80", "17", "12345-09", ""}});

    const TDirectoryContents contents = LoadDirectory("devices");
    ASSERT_NE(contents.def, nullptr);
    EXPECT_EQ(contents.def->title, "Измерительные приборы");
    // Ordered by register number.
    EXPECT_EQ(contents.rows, (Rows{{"П3-80", "17", "12345-09", ""}, {"ИЭП-05", "321", "45678-10", "01.02.2010"}}));
    EXPECT_EQ(PickerItems("devices"),
              (std::vector<std::string>{"П3-80 (зав. №17, рег. №12345-09)", "ИЭП-05 (зав. №321, рег. №45678-10)"}));
    EXPECT_EQ(HistoryTexts(5),
              (std::vector<std::string>{"ИЭП-05 (зав. №321, рег. №45678-10)", "П3-80 (зав. №17, рег. №12345-09)"}));
}

TEST_F(ReferenceDirectories, ClearingARowDeletesItsEntryAndCellsAreTrimmed) {
    SaveDirectory("workplaces", {{"Бухгалтерия", "01"}, {"Склад", "02"}});
    SaveDirectory("workplaces", {{"  ", "\t"}, {"  Склад ", " 02"}, {"", ""}});
    EXPECT_EQ(LoadDirectory("workplaces").rows, (Rows{{"Склад", "02"}}));
    EXPECT_EQ(HistoryTexts(7), (std::vector<std::string>{"Бухгалтерия 01", "Склад 02"}));
}

TEST_F(ReferenceDirectories, AFailedSaveLeavesDirectoryAndHistoryAsTheyWere) {
    SaveDirectory("techdocs", {{"СанПиН 2.2.2/2.4.1340-03"}});
    // The second entry has a character without a code-page byte: its insert fails
    // after the delete and the first insert have run.
    EXPECT_THROW(SaveDirectory("techdocs", {{"МУК 4.3.1677-03"}, {"ГОСТ 中"}}), EConvertError);

    EXPECT_EQ(LoadDirectory("techdocs").rows, (Rows{{"СанПиН 2.2.2/2.4.1340-03"}}));
    EXPECT_EQ(HistoryTexts(6), std::vector<std::string>{"СанПиН 2.2.2/2.4.1340-03"});
    EXPECT_FALSE(MainDatabase().InTransaction());
}

TEST_F(ReferenceDirectories, UnknownTableGivesNothing) {
    EXPECT_EQ(LoadDirectory("measurements").def, nullptr);
    EXPECT_TRUE(PickerItems("Orgs").empty());  // exact name only
    SaveDirectory("maxlevels", {{"x"}});
    EXPECT_EQ(RawRows(file, "select count(*) from maxlevels")[0][0], "7");
}

TEST(ReferenceDirectoryPicker, ResultTextAndChoosing) {
    const std::vector<std::string> items = {"ИЭП-05 (зав. №1, рег. №2)", "П3-80 (зав. №3, рег. №4)", "Третий"};
    struct Case {
        std::vector<bool> checked;
        std::string text;
    };
    const Case cases[] = {
        {{true, false, true}, "ИЭП-05 (зав. №1, рег. №2)\r\nТретий"},
        {{false, true, false}, "П3-80 (зав. №3, рег. №4)"},
        {{false, false, false}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResultText(items, c.checked), c.text);
        EXPECT_EQ(CanChoose(true, -1, c.checked), !c.text.empty());
    }
    EXPECT_FALSE(CanChoose(false, -1, {true}));
    EXPECT_TRUE(CanChoose(false, 0, {}));
}

TEST(ReferenceDirectoryDefs, DisplayFormatsFillPositionalArguments) {
    EXPECT_EQ(FillDisplayFormat("%0:s ИНН %2:s", {"A", "B"}), "A ИНН ");
    EXPECT_EQ(FillDisplayFormat("%0:s %1:s", {"Склад", "02", "x", "y"}), "Склад 02");
    EXPECT_EQ(FindDirectory("orgs")->ColumnCount(), 3);
    EXPECT_EQ(FindDirectory("devices")->PickerColumnCount(), 3);
    EXPECT_EQ(DirectoryColumnWidth(420, 4), 100);
}
