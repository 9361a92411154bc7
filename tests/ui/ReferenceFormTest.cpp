#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <memory>

#include "storage/Database.h"
#include "storage/InputHistory.h"
#include "storage/ReferenceDirectories.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/grid/StringGrid.h"
#include "ProtocolWindowsFixture.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/ProtocolWindows.h"
#include "ui/protocol/RefSelectForm.h"
#include "ui/protocol/ReferenceForm.h"

namespace zorvex::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class ReferenceTest : public ProtocolWindowsTest {
protected:
    Rows Stored(const std::string& sql) const { return RawRows(dir.File("data.db"), sql); }

    // The editor as its menu item opens it, typed into by `edit` and saved.
    void EditAndSave(const char* menuItem, const std::function<void(TReferenceForm&)>& edit) {
        drive = [&edit](QDialog& dialog) {
            auto& editor = dynamic_cast<TReferenceForm&>(dialog);
            editor.show();
            edit(editor);
            editor.BitBtn1->click();
        };
        OpenReferenceEditor(std::string_view(menuItem));
        drive = nullptr;
    }
};

TEST_F(ReferenceTest, EntryWithApostropheGoesThroughEditorPickerAndHistory) {
    EditAndSave("N29", [](TReferenceForm& editor) {
        EXPECT_EQ(editor.windowTitle(), "Предприятия");
        TStringGrid& grid = *editor.StringGrid1;
        ASSERT_EQ(grid.RowCount(), 2);  // header and the empty row of an empty directory
        EXPECT_EQ(grid.ColCount(), 3);
        EXPECT_EQ(grid.Cell(2, 0), "ИНН");
        grid.EditCellText(0, 1, "O'Brien");
        editor.Timer1Timer();
        EXPECT_EQ(grid.RowCount(), 3);  // a new empty row at the bottom
        editor.Timer1Timer();
        EXPECT_EQ(grid.RowCount(), 3);
        grid.EditCellText(1, 1, "Dublin");
        grid.EditCellText(2, 1, "7700");
    });
    EXPECT_EQ(modalCount, 1);
    EXPECT_EQ(Stored("select name, address, inn from orgs"), (Rows{{"O'Brien", "Dublin", "7700"}}));
    EXPECT_EQ(HistoryTexts(1), std::vector<std::string>{"O'Brien ИНН 7700"});

    TRefSelectForm picker;
    picker.TableName = "orgs";
    picker.show();
    ASSERT_TRUE(picker.ListBox1->isVisible());
    ASSERT_EQ(picker.ListBox1->count(), 1);
    EXPECT_EQ(picker.ListBox1->item(0)->text(), "O'Brien ИНН 7700");
    EXPECT_FALSE(picker.BitBtn1->isEnabled());  // nothing selected yet
    picker.BitBtn1Click();
    EXPECT_EQ(picker.result(), QDialog::Rejected);
    picker.ListBox1->setCurrentRow(0);
    EXPECT_TRUE(picker.BitBtn1->isEnabled());
    picker.BitBtn1->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.ResultText, "O'Brien ИНН 7700");
}

TEST_F(ReferenceTest, ClearingARowDeletesItsEntryAndCancelKeepsTheDirectory) {
    SaveDirectory("techdocs", {{"ГОСТ 1"}, {"СанПиН 2"}});
    EditAndSave("N28", [](TReferenceForm& editor) {
        TStringGrid& grid = *editor.StringGrid1;
        ASSERT_EQ(grid.RowCount(), 4);
        EXPECT_EQ(grid.Cell(0, 1), "ГОСТ 1");
        grid.EditCellText(0, 1, "   ");
    });
    EXPECT_EQ(LoadDirectory("techdocs").rows, (Rows{{"СанПиН 2"}}));

    drive = [](QDialog& dialog) {
        auto& editor = dynamic_cast<TReferenceForm&>(dialog);
        editor.show();
        editor.StringGrid1->EditCellText(0, 1, "");
        editor.BitBtn2->click();
    };
    OpenReferenceEditor(1);
    EXPECT_EQ(LoadDirectory("techdocs").rows, (Rows{{"СанПиН 2"}}));
}

TEST_F(ReferenceTest, CheckedEntriesAreJoinedByOneLineBreak) {
    SaveDirectory("techdocs", {{"А"}, {"Б"}, {"В"}});
    TRefSelectForm picker;
    picker.TableName = "techdocs";
    picker.MultiSelect = true;
    picker.show();
    ASSERT_TRUE(picker.CheckListBox1->isVisible());
    EXPECT_FALSE(picker.ListBox1->isVisible());
    ASSERT_EQ(picker.CheckListBox1->count(), 3);
    picker.CheckListBox1->setCurrentRow(1);  // a selection alone chooses nothing
    EXPECT_FALSE(picker.BitBtn1->isEnabled());
    picker.CheckListBox1->item(0)->setCheckState(Qt::Checked);
    picker.CheckListBox1->item(2)->setCheckState(Qt::Checked);
    EXPECT_TRUE(picker.BitBtn1->isEnabled());
    picker.BitBtn1->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.ResultText, "А\r\nВ");
}

TEST_F(ReferenceTest, AddRemoveReopensTheEditorAndReloadsTheList) {
    SaveDirectory("devices", {{"ИЭП-05", "101", "2001", "01.02.2010"}});
    TRefSelectForm picker;
    picker.TableName = "devices";
    picker.MultiSelect = true;
    picker.show();
    EXPECT_EQ(picker.windowTitle(), "Измерительные приборы");
    ASSERT_EQ(picker.CheckListBox1->count(), 1);
    EXPECT_EQ(picker.CheckListBox1->item(0)->text(), "ИЭП-05 (зав. №101, рег. №2001)");
    picker.CheckListBox1->item(0)->setCheckState(Qt::Checked);

    drive = [](QDialog& dialog) {
        auto& editor = dynamic_cast<TReferenceForm&>(dialog);
        editor.show();
        EXPECT_EQ(editor.TableName, "devices");
        EXPECT_EQ(editor.StringGrid1->Cell(3, 1), "01.02.2010");  // shown in the editor only
        editor.StringGrid1->EditCellText(0, 2, "Люксметр");
        editor.StringGrid1->EditCellText(2, 2, "1000");
        editor.BitBtn1->click();
    };
    picker.BitBtn3->click();
    EXPECT_EQ(modalCount, 1);
    ASSERT_EQ(picker.CheckListBox1->count(), 2);  // ordered by register number
    EXPECT_EQ(picker.CheckListBox1->item(0)->text(), "Люксметр (зав. №, рег. №1000)");
    EXPECT_EQ(picker.CheckListBox1->item(0)->checkState(), Qt::Unchecked);  // checks start afresh
    EXPECT_EQ(picker.CheckListBox1->item(1)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(picker.BitBtn1->isEnabled());

    // A cancelled edit leaves the list as it is.
    picker.CheckListBox1->item(1)->setCheckState(Qt::Checked);
    drive = [](QDialog& dialog) {
        dialog.show();
        dynamic_cast<TReferenceForm&>(dialog).BitBtn2->click();
    };
    picker.BitBtn3->click();
    EXPECT_EQ(picker.CheckListBox1->item(1)->checkState(), Qt::Checked);
}

}  // namespace
}  // namespace zorvex::test
