#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <functional>
#include <memory>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "protocol/ProtocolFields.h"
#include "protocol/ProtocolSession.h"
#include "protocol/ProtocolStore.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/grid/StringGrid.h"
#include "ProtocolWindowsFixture.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/OpenProtocolForm.h"
#include "ui/protocol/ProtocolWindows.h"
#include "ui/protocol/ReportForm.h"

namespace zorvex::test {
namespace {

// Stored protocols numbered 2 (id 1) and 10 (id 2), each with its file.
class OpenProtocolTest : public ProtocolWindowsTest {
protected:
    OpenProtocolTest() {
        Store("2", 7);
        Store("10", 8);
    }

    static void Store(const std::string& number, int workplace) {
        TMeasureDataP data;
        TMeasureRecord r;
        r.kind = kKindMagnetic;
        r.workplace = workplace;
        r.height = 2;
        r.mvalue = 42;
        r.time = EncodeDateTime(2011, 2, 15, 11, 55, 45, 0);
        data(kMethodSingle, kKindMagnetic).Records = {r};
        data.SetMethodBytes();
        TProtocolSession session = NewProtocolSession(data);
        TProtocolFields fields;
        PrepareEditor(session, fields);
        fields.SetFieldText("Edit0", number);
        fields.SetDate(EncodeDate(2011, 2, 15));
        ASSERT_EQ(FormProtocol(session, fields), TFormOutcome::Stored);
    }

    static std::vector<QString> Captions(const TOpenProtocolForm& form) {
        std::vector<QString> texts;
        for (int i = 0; i < form.ListView1->count(); ++i) texts.push_back(form.ListView1->item(i)->text());
        return texts;
    }
    std::string Count() const { return RawRows(dir.File("data.db"), "select count(*) from protocols")[0][0]; }
};

TEST_F(OpenProtocolTest, ListsCaptionsSortedAsTextAndOpensTheSelectedProtocol) {
    drive = [this](QDialog& dialog) {
        auto& list = dynamic_cast<TOpenProtocolForm&>(dialog);
        list.show();
        EXPECT_EQ(list.windowTitle(), "Список протоколов");
        EXPECT_EQ(Captions(list), (std::vector<QString>{"Протокол №10 от 15.02.2011", "Протокол №2 от 15.02.2011"}));
        list.BitBtn1->click();  // nothing selected
        EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Выделите один из протоколов"});
        ASSERT_EQ(modalCount, 1);

        drive = [this, &list](QDialog& editorDialog) {
            auto& editor = dynamic_cast<TReportForm&>(editorDialog);
            EXPECT_FALSE(list.isVisible());  // the list is closed before the editor shows
            EXPECT_EQ(editor.Session().ProtocolId, 1);
            editor.show();
            EXPECT_EQ(editor.Edit0->text(), "2");
            EXPECT_EQ(editor.ResultGrids[0]->Cell(0, 1), "7");  // tables as stored
            editor.BitBtn2->click();
        };
        list.ListView1->setCurrentRow(1);
        list.ListView1DblClick();
    };
    OpenProtocolList();
    EXPECT_EQ(modalCount, 2);
}

TEST_F(OpenProtocolTest, DeletesTheSelectedProtocolAfterYes) {
    TOpenProtocolForm list;
    list.show();
    list.BitBtn3->click();
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Выделите один из протоколов"});

    list.ListView1->setCurrentRow(0);
    prompts->confirmAnswers = {false};
    list.BitBtn3->click();
    EXPECT_EQ(Count(), "2");
    EXPECT_EQ(list.ListView1->count(), 2);

    list.ListView1->setCurrentRow(0);
    prompts->confirmAnswers = {true};
    list.BitBtn3->click();
    ASSERT_EQ(prompts->shown.back().kind, "confirm");
    EXPECT_EQ(prompts->shown.back().text, "Удалить Протокол №10 от 15.02.2011?");
    EXPECT_EQ(Count(), "1");
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(ProtocolFilePath(2))));
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(ProtocolFilePath(1))));
    EXPECT_EQ(Captions(list), std::vector<QString>{"Протокол №2 от 15.02.2011"});
    EXPECT_TRUE(list.isVisible());
}

TEST_F(OpenProtocolTest, AnUnreadableDateLeavesTheItemsBeforeIt) {
    RawExec(dir.File("data.db"),
            "insert into protocols (number, date, consts, tabdata) values ('5', 'tomorrow', '', '')");
    TOpenProtocolForm list;
    list.show();
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].icon, MessageIcon::Error);
    // Unsorted, in table order, ending with the empty item of the failing row.
    EXPECT_EQ(Captions(list), (std::vector<QString>{"Протокол №2 от 15.02.2011", "Протокол №10 от 15.02.2011", ""}));
    EXPECT_EQ(list.ListView1->item(2)->data(Qt::UserRole).toInt(), 0);
}

// Opening a protocol whose file is gone names the file; the editor does not
// open on a protocol that would seem to have no workplaces.
TEST_F(OpenProtocolTest, AMissingFileIsNamedAndNoEditorOpens) {
    const std::string file = ProtocolFilePath(1);
    std::filesystem::remove(PathFromUtf8(file));
    TOpenProtocolForm list;
    list.show();
    ASSERT_EQ(Captions(list)[1], "Протокол №2 от 15.02.2011");
    list.ListView1->setCurrentRow(1);
    list.BitBtn1->click();
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(prompts->shown[0].text, "Не найден файл протокола: «" + file + "»");
    EXPECT_EQ(modalCount, 0);
    EXPECT_TRUE(list.isVisible());
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(file)));
}

}  // namespace
}  // namespace zorvex::test
