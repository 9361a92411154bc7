#include "MainformFixture.h"
#include "storage/Levels.h"
#include "support/RawSqlite.h"
#include "ui/MaxLevelsForm.h"

namespace zorvex::test {
namespace {

class MaxLevelsFormTest : public MainformTest {
protected:
    std::string StoredLevel(const char* name) {
        return RawRows(Data("data.db"),
                       std::string("select value from maxlevels where name like '") + name + "'")
            .at(0)
            .at(0);
    }
};

TEST_F(MaxLevelsFormTest, ShowsTheSixLevelsInGeneralFormat) {
    TMaxLevelsForm dialog(*form);
    dialog.FormShow();
    TStringGrid& list = *dialog.ValueListEditor1;
    EXPECT_EQ(list.RowCount(), 7);
    EXPECT_EQ(list.Cell(0, 0), "Показатель");
    EXPECT_EQ(list.Cell(1, 0), "Допустимый уровень");
    const std::vector<QString> values = {"250", "25", "25", "2.5", "5000", "500"};
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(list.Cell(0, r).toStdString(), kLevelLabels[r]);
        EXPECT_EQ(list.Cell(1, r), values[r - 1]);
    }
    list.SetCurrentCell(0, 1);
    EXPECT_FALSE(list.EditingEnabled());  // keys are read-only
    list.SetCurrentCell(1, 1);
    EXPECT_TRUE(list.EditingEnabled());
}

TEST_F(MaxLevelsFormTest, SavingStoresEveryLevelAndRefreshesTheWindow) {
    TMaxLevelsForm dialog(*form);
    dialog.FormShow();
    dialog.ValueListEditor1->EditCellText(1, 1, "7.5");
    dialog.ValueListEditor1->EditCellText(1, 2, "7,5");
    dialog.ValueListEditor1->EditCellText(1, 5, "4000");
    dialog.BitBtn1->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(StoredLevel("swtmflb"), "7.5");
    EXPECT_EQ(StoredLevel("swtmfhb"), "-1.0");  // text that is no number
    EXPECT_EQ(StoredLevel("swteflb"), "25.0");  // unchanged rows are written back as they were
    EXPECT_EQ(StoredLevel("mf50hz"), "4000.0");
    EXPECT_EQ(StoredLevel(""), "0.0");  // the entry without a level is never touched
    EXPECT_DOUBLE_EQ(form->Levels()[msfMFLB], 7.5);
    EXPECT_DOUBLE_EQ(form->Levels()[msfMFHB], -1.0);
    EXPECT_FLOAT_EQ(form->LimitTable()[0][0][0], 4000.0f);
    EXPECT_EQ(form->LimGrid->Cell(5, 2), "4000.00");  // single mode, kind 0

    // A level that became -1 marks nothing.
    TMeasureDataP data;
    data(0, 1).Records = {Record(1, 41030.5, 1, -1, 1)};
    Show(data, kMethodSingle, 1);
    EXPECT_FALSE(form->IsMarkedCell(5, 2));
}

TEST_F(MaxLevelsFormTest, CancelStoresNothing) {
    TMaxLevelsForm dialog(*form);
    dialog.FormShow();
    dialog.ValueListEditor1->EditCellText(1, 1, "1");
    dialog.BitBtn2->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(StoredLevel("swtmflb"), "250.0");
    EXPECT_DOUBLE_EQ(form->Levels()[msfMFLB], 250.0);
}

TEST_F(MaxLevelsFormTest, StoredLevelsAreLoadedAtStart) {
    form.reset();
    SetMainDatabase(nullptr);
    RawExec(Data("data.db"), "update maxlevels set value=12.5 where name like 'ef50hz'");
    form = std::make_unique<TMainform>(Data("data.db"));
    EXPECT_DOUBLE_EQ(form->Levels()[msfEF50hz], 12.5);
    EXPECT_FLOAT_EQ(form->LimitTable()[0][2][1], 12.5f);
    EXPECT_TRUE(prompts->Messages().empty());
}

TEST_F(MaxLevelsFormTest, AMissingLevelRowIsReportedAndTheLevelsInForceAreShownAndMarked) {
    form.reset();
    SetMainDatabase(nullptr);
    RawExec(Data("data.db"),
            "update maxlevels set value=111 where name like 'swtmflb'; delete from maxlevels where name like "
            "'swteflb'; update maxlevels set value=7 where name like 'ef50hz'");
    form = std::make_unique<TMainform>(Data("data.db"));
    form->show();
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_EQ(prompts->Messages()[0], "'' is not a valid floating point value");
    EXPECT_DOUBLE_EQ(form->Levels()[msfMFLB], 111.0);      // loaded before the missing row
    EXPECT_DOUBLE_EQ(form->Levels()[msfEF50hz], 500.0);    // after it: built-in
    // The level row and the marking use the levels in force, as the dialog shows them.
    EXPECT_DOUBLE_EQ(form->LimitTable()[1][0][0], 111.0);
    EXPECT_DOUBLE_EQ(form->LimitTable()[0][0][1], 500.0);
    EXPECT_EQ(form->LimGrid->Cell(5, 2), "5000.00");
}

TEST_F(MaxLevelsFormTest, SavingRepairsAMissingLevelRow) {
    form.reset();
    SetMainDatabase(nullptr);
    RawExec(Data("data.db"), "delete from maxlevels where name like 'swteflb'");
    form = std::make_unique<TMainform>(Data("data.db"));
    form->show();
    ASSERT_EQ(prompts->Messages().size(), 1u);  // loading reports the missing row

    TMaxLevelsForm dialog(*form);
    dialog.FormShow();
    dialog.ValueListEditor1->EditCellText(1, 3, "30");
    dialog.BitBtn1->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(StoredLevel("swteflb"), "30.0");
    EXPECT_EQ(RawRows(Data("data.db"), "select count(*) from maxlevels")[0][0], "7");

    // The next start loads every level without a word.
    form.reset();
    SetMainDatabase(nullptr);
    form = std::make_unique<TMainform>(Data("data.db"));
    form->show();
    EXPECT_EQ(prompts->Messages().size(), 1u);
    EXPECT_DOUBLE_EQ(form->Levels()[msfEFLB], 30.0);
    EXPECT_DOUBLE_EQ(form->Levels()[msfEF50hz], 500.0);
}

}  // namespace
}  // namespace zorvex::test
