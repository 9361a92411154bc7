#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <tuple>

#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "protocol/ProtocolList.h"
#include "protocol/ProtocolSession.h"
#include "protocol/ProtocolStore.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/InputHistory.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::ReadFileBytes;
using zorvex::test::ScriptedPrompts;
using zorvex::test::TempDir;
using zorvex::test::WriteFileBytes;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// A bound text as stored: with its terminating zero byte.
std::string Z(const std::string& text) {
    return text + '\0';
}

// Single measurements at the given workplaces, one per workplace.
TMeasureDataP Measurements(std::initializer_list<int> workplaces) {
    TMeasureDataP data;
    int number = 0;
    for (const int workplace : workplaces) {
        TMeasureRecord r;
        r.kind = kKindMagnetic;
        r.number = ++number;
        r.workplace = workplace;
        r.height = 2;
        r.time = EncodeDateTime(2010, 3, 5, 10, number, 0, 0);
        r.mvalue = 100 + workplace;
        data(kMethodSingle, kKindMagnetic).Records.push_back(r);
    }
    data.SetMethodBytes();
    return data;
}

std::string FileRecordCountOf(const std::string& file) {
    return RawRows(file, "select count(*) from measurements")[0][0];
}

class ProtocolStore : public ::testing::Test {
protected:
    void SetUp() override { SetMainDatabase(OpenDatabase(db)); }
    void TearDown() override { SetMainDatabase(nullptr); }

    std::string File(int id) const { return Utf8FromPath(protocols / (std::to_string(id) + ".zorvexpro")); }
    std::string Question(int id) const { return "Файл с имененим " + File(id) + " уже существует, заменить?"; }
    std::vector<std::string> Questions() const {
        std::vector<std::string> texts;
        for (const auto& s : prompts->shown)
            if (s.kind == "confirm") texts.push_back(s.text);
        return texts;
    }
    Rows ProtocolRows() const { return RawRows(db, "select id, number from protocols order by id"); }
    static std::string FileRecordCount(const std::string& file) {
        return RawRows(file, "select count(*) from measurements")[0][0];
    }

    TempDir dir;
    const std::string db = dir.File("data.db");
    const std::filesystem::path protocols = dir.path() / "protocols";  // missing until the first store
    ProtocolDirectoryScope directoryScope{Utf8FromPath(protocols)};
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(EncodeDateTime(2010, 5, 19, 12, 39, 28, 0));
    ClockScope clockScope{clock};
};

// An editor opened and prepared as the window does it.
struct Editor {
    TProtocolSession session;
    TProtocolFields fields;
    explicit Editor(TProtocolSession s) : session(std::move(s)) {
        fields.SetDate(EncodeDateTime(2010, 3, 5, 9, 30, 0, 0));
        PrepareEditor(session, fields);
    }
};

}  // namespace

TEST_F(ProtocolStore, FormingTwiceStoresOneRowAndAsksBeforeReplacingTheFile) {
    Editor editor(NewProtocolSession(Measurements({3, 1, 2})));
    editor.fields.SetFieldText("Edit0", " 12 ");
    editor.fields.SetFieldText("Edit1", "ООО «Ромашка»");
    editor.fields.SetFieldText("ComboBoxEx9", "Иванов");
    EXPECT_EQ(FormProtocol(editor.session, editor.fields), TFormOutcome::Stored);
    EXPECT_EQ(editor.session.ProtocolId, 1);
    EXPECT_TRUE(Questions().empty());
    EXPECT_EQ(FileRecordCount(File(1)), "3");
    // The picked day at the time of day of storing, not midnight.
    EXPECT_EQ(RawRows(db, "select date from protocols"), (Rows{{Z("2010-03-05 12-39-28")}}));

    editor.session.Tables[0].Cell(1, 1) = "2";
    clock->Set(EncodeDateTime(2010, 5, 20, 8, 5, 9, 0));
    prompts->confirmAnswers = {true};
    EXPECT_EQ(FormProtocol(editor.session, editor.fields), TFormOutcome::Stored);
    EXPECT_EQ(Questions(), std::vector<std::string>{Question(1)});
    EXPECT_EQ(FileRecordCount(File(1)), "3");  // replaced, not appended to

    // The number is stored trimmed, and untrimmed as the first item of the field text.
    EXPECT_EQ(RawRows(db, "select id, number, date, substr(consts, 1, 5) from protocols"),
              (Rows{{"1", Z("12"), Z("2010-03-05 08-05-09"), " 12 $"}}));
    EXPECT_EQ(MainDatabase().ScalarInt("select used from protocollists where const=1 and value=?",
                                       {std::string("ООО «Ромашка»")}),
              2);

    // Reopened from the list, it shows what was stored.
    Editor reopened(StoredProtocolSession(1));
    EXPECT_TRUE(reopened.session.TextsLoaded);
    EXPECT_EQ(*reopened.fields.FieldText("Edit0"), " 12 ");
    EXPECT_EQ(reopened.fields.Date(), EncodeDate(2010, 3, 5));
    EXPECT_EQ(reopened.session.Tables[0].Cell(1, 1), "2");
    EXPECT_EQ(reopened.session.Tables[0].Cell(0, 3), "3");
    EXPECT_EQ(reopened.session.Measurements(kMethodSingle, kKindMagnetic).Records.size(), 3u);
    EXPECT_EQ(reopened.fields.HistoryItems("ComboBoxEx9"), std::vector<std::string>{"Иванов"});
    EXPECT_EQ(*reopened.fields.FieldText("ComboBoxEx9"), "Иванов");
}

TEST_F(ProtocolStore, NoForANewProtocolDeletesItsRowAndALaterStoreInsertsAgain) {
    std::filesystem::create_directories(protocols);
    WriteFileBytes(PathFromUtf8(File(1)), "an old file");

    Editor editor(NewProtocolSession(Measurements({1})));
    prompts->confirmAnswers = {false};
    EXPECT_EQ(FormProtocol(editor.session, editor.fields), TFormOutcome::NotStored);
    EXPECT_EQ(Questions(), std::vector<std::string>{Question(1)});
    EXPECT_EQ(editor.session.ProtocolId, 0);
    EXPECT_TRUE(ProtocolRows().empty());
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(File(1))), "an old file");

    EXPECT_EQ(FormProtocol(editor.session, editor.fields), TFormOutcome::Stored);
    EXPECT_EQ(ProtocolRows(), (Rows{{"2", Z("")}}));
    EXPECT_EQ(FileRecordCount(File(2)), "1");
}

TEST_F(ProtocolStore, NoForAStoredProtocolKeepsRowAndFileAndGoesOn) {
    Editor first(NewProtocolSession(Measurements({1, 2})));
    ASSERT_EQ(FormProtocol(first.session, first.fields), TFormOutcome::Stored);
    const std::string fileBefore = ReadFileBytes(PathFromUtf8(File(1)));

    Editor reopened(StoredProtocolSession(1));
    reopened.fields.SetFieldText("Edit2", "Петров");
    prompts->confirmAnswers = {false};
    EXPECT_EQ(FormProtocol(reopened.session, reopened.fields), TFormOutcome::StoredFileKept);
    EXPECT_EQ(reopened.session.ProtocolId, 1);
    EXPECT_EQ(ProtocolRows(), (Rows{{"1", Z("")}}));
    EXPECT_NE(StoredProtocolSession(1).StoredConsts.find("$$$Петров$$$"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(File(1))), fileBefore);
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_NE(prompts->Messages()[0].find("оставлен прежним"), std::string::npos);
}

TEST_F(ProtocolStore, IdsRestartingAfterTheDatabaseIsReplacedMeetAnOldFile) {
    Editor old(NewProtocolSession(Measurements({1, 2, 3, 4})));
    ASSERT_EQ(FormProtocol(old.session, old.fields), TFormOutcome::Stored);

    SetMainDatabase(nullptr);
    std::filesystem::remove(PathFromUtf8(db));
    SetMainDatabase(OpenDatabase(db));

    Editor fresh(NewProtocolSession(Measurements({5})));
    prompts->confirmAnswers = {true};
    EXPECT_EQ(FormProtocol(fresh.session, fresh.fields), TFormOutcome::Stored);
    EXPECT_EQ(Questions(), std::vector<std::string>{Question(1)});
    EXPECT_EQ(FileRecordCount(File(1)), "1");
}

// Makes a file undeletable while it lives, where the file system allows it.
class Undeletable {
public:
    explicit Undeletable(std::string path) : path_(std::move(path)) {
        on_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
    }
    ~Undeletable() {
        if (on_) std::ignore = std::system(("chattr -i '" + path_ + "'").c_str());
    }
    bool on() const { return on_; }

private:
    std::string path_;
    bool on_ = false;
};

TEST_F(ProtocolStore, AnOldFileThatCannotBeReplacedIsReportedAndKeptWhole) {
    std::filesystem::create_directories(protocols);
    {
        TMeasureDataP old = Measurements({7, 8});
        TDBDataAdapter adapter;
        adapter.PutData(old, File(1));
    }
    const std::string before = ReadFileBytes(PathFromUtf8(File(1)));
    const Undeletable lock(File(1));
    if (!lock.on()) GTEST_SKIP() << "no immutable files here";

    Editor editor(NewProtocolSession(Measurements({1})));
    prompts->confirmAnswers = {true};
    try {
        FormProtocol(editor.session, editor.fields);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().starts_with("Не удалось записать файл «" + File(1) + "»")) << e.Message();
    }
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(File(1))), before);
    EXPECT_TRUE(ProtocolRows().empty());  // the new row would name a foreign file
    EXPECT_EQ(editor.session.ProtocolId, 0);
}

TEST_F(ProtocolStore, DeleteRemovesRowAndFileAndAMissingFileIsNoError) {
    for (int i = 0; i < 2; ++i) {
        Editor editor(NewProtocolSession(Measurements({1})));
        ASSERT_EQ(FormProtocol(editor.session, editor.fields), TFormOutcome::Stored);
    }
    std::filesystem::remove(PathFromUtf8(File(2)));
    DeleteProtocol(2);
    DeleteProtocol(1);
    EXPECT_TRUE(ProtocolRows().empty());
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(File(1))));
    EXPECT_TRUE(prompts->shown.empty());
}

TEST_F(ProtocolStore, AnEditorThatCouldNotLoadTheStoredTextsRefusesToStore) {
    Editor first(NewProtocolSession(Measurements({1})));
    first.fields.SetFieldText("Edit1", "ООО «Ромашка»");
    ASSERT_EQ(FormProtocol(first.session, first.fields), TFormOutcome::Stored);
    const std::string file = File(1), aside = File(1) + ".aside";

    struct Case {
        const char* name;
        const char* databaseDamage;  // SQL on data.db
        const char* fileDamage;      // SQL on the protocol file, undone afterwards
        const char* reason;
    };
    const Case cases[] = {
        {"no numbered workplace", "", "update measurements set workplace = 0", "нет номеров рабочих мест"},
        {"an unreadable stored date", "update protocols set consts=replace(consts, '05.03.2010', '2010-03-05')", "",
         "'2010-03-05' is not a valid date"},
    };
    for (const Case& c : cases) {
        if (*c.databaseDamage) RawExec(db, c.databaseDamage);
        std::filesystem::copy_file(PathFromUtf8(file), PathFromUtf8(aside));
        if (*c.fileDamage) RawExec(file, c.fileDamage);
        const Rows stored = RawRows(db, "select consts, tabdata from protocols");
        const Rows history = RawRows(db, "select const, value, used from protocollists");

        TProtocolSession session = StoredProtocolSession(1);
        TProtocolFields fields;
        try {
            PrepareEditor(session, fields);  // an error here is shown by the window, which still opens
        } catch (const Exception&) {
        }
        EXPECT_FALSE(session.TextsLoaded) << c.name;
        try {
            FormProtocol(session, fields);
            ADD_FAILURE() << c.name;
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find(c.reason), std::string::npos) << e.Message();
        }
        EXPECT_EQ(RawRows(db, "select consts, tabdata from protocols"), stored) << c.name;
        EXPECT_EQ(RawRows(db, "select const, value, used from protocollists"), history) << c.name;
        std::filesystem::rename(PathFromUtf8(aside), PathFromUtf8(file));
    }
}

// A protocol whose file is gone is not a protocol without workplaces: the
// error names the file, and reading it creates nothing.
TEST_F(ProtocolStore, AMissingProtocolFileIsNamed) {
    Editor first(NewProtocolSession(Measurements({1, 2})));
    ASSERT_EQ(FormProtocol(first.session, first.fields), TFormOutcome::Stored);
    std::filesystem::remove(PathFromUtf8(File(1)));
    try {
        StoredProtocolSession(1);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Не найден файл протокола: «" + File(1) + "»");
    }
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(File(1))));
    // The row can still be deleted.
    DeleteProtocol(1);
    EXPECT_TRUE(ProtocolRows().empty());
}

// Every text is checked before the input history or the row is written, so
// a refusal leaves nothing behind however often it is retried.
TEST_F(ProtocolStore, ATextThatCannotBeStoredIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* name;
        const char* control;  // a field, or nullptr for the norm cell of table 2, first workplace
        std::string text;
        std::string named;  // the place the message names
    };
    const Case cases[] = {
        {"separator in a field", "Edit1", "ООО $$$ Ромашка",
         "Поле «1. Организация, объект, на котором проводились измерения и оценка»: текст не может"},
        {"code page, protocol number", "Edit0", "12 ≤ 13", "Поле «ПРОТОКОЛ №»: символ «≤»"},
        {"code page, norm cell", nullptr, "≤ 0.3", "Таблица «" + CreatedResultTables()[2].caption +
                                                         "», строка 3, столбец 5: символ «≤»"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Editor editor(NewProtocolSession(Measurements({1})));
        editor.fields.SetFieldText("Edit2", "Петров");
        if (c.control)
            editor.fields.SetFieldText(c.control, c.text);
        else
            editor.session.Tables[2].Cell(4, 2) = c.text;
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                FormProtocol(editor.session, editor.fields);
                ADD_FAILURE();
            } catch (const Exception& e) {
                EXPECT_NE(e.Message().find(c.named), std::string::npos) << e.Message();
            }
        }
        EXPECT_TRUE(ProtocolRows().empty());
        EXPECT_EQ(RawRows(db, "select count(*) from protocollists")[0][0], "0");
        EXPECT_FALSE(std::filesystem::exists(protocols));
    }
}

TEST_F(ProtocolStore, TheListShowsCaptionsSortedAsText) {
    RawExec(db,
            "insert into protocols (number, date) values('2', '2011-02-15 11-55-45');"
            "insert into protocols (number, date) values('10', '2011-02-16 08-00-00');"
            "insert into protocols (number, date) values('', '2011-02-15 11-55-45');"
            "insert into protocols (number, date) values('2', '2011-02-15 11-55-45')");
    std::vector<TProtocolListItem> items;
    FillList(items);
    std::vector<std::pair<std::string, int>> shown;
    for (const auto& item : items) shown.emplace_back(item.caption, item.id);
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, int>>{{"Протокол № от 15.02.2011", 3},
                                                               {"Протокол №10 от 16.02.2011", 2},
                                                               {"Протокол №2 от 15.02.2011", 1},
                                                               {"Протокол №2 от 15.02.2011", 4}}));

    RawExec(db, "insert into protocols (number, date) values('5', 'вчера')");
    EXPECT_THROW(FillList(items), EConvertError);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items.back().caption, "");
    EXPECT_EQ(items.back().id, 0);
}

// Two databases in different directories, each with its protocol 1: each
// keeps its protocol files beside itself, reads its own measurements back,
// and storing in one never touches the other's file.
TEST(ProtocolFiles, EachDatabaseKeepsItsOwnBesideIt) {
    TempDir dir;
    const auto prompts = std::make_shared<ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    struct Lab {
        std::filesystem::path directory;
        int workplace;
    };
    const Lab labs[] = {{dir.path() / "a", 77}, {dir.path() / "b" / PathFromUtf8("Замеры"), 88}};
    const auto workplacesRead = [] {
        std::vector<std::int32_t> workplaces;
        const TProtocolSession session = StoredProtocolSession(1);
        for (const TMeasureRecord& r : session.Measurements(kMethodSingle, kKindMagnetic).Records)
            workplaces.push_back(r.workplace);
        return workplaces;
    };
    for (const Lab& lab : labs) {
        std::filesystem::create_directories(lab.directory);
        SetMainDatabase(OpenDatabase(Utf8FromPath(lab.directory / "data.db")));
        EXPECT_EQ(ProtocolDirectory(), Utf8FromPath(lab.directory / "protocols"));
        Editor editor(NewProtocolSession(Measurements({lab.workplace})));
        ASSERT_EQ(FormProtocol(editor.session, editor.fields), TFormOutcome::Stored);
        EXPECT_EQ(editor.session.ProtocolId, 1);
    }
    const std::filesystem::path fileA = labs[0].directory / "protocols" / "1.zorvexpro";
    const std::string bytesA = ReadFileBytes(fileA);
    for (const Lab& lab : labs) {
        SetMainDatabase(OpenDatabase(Utf8FromPath(lab.directory / "data.db")));
        EXPECT_EQ(workplacesRead(), std::vector<std::int32_t>{lab.workplace}) << lab.directory;
    }
    // The second database (still open) stores its protocol 1 again.
    Editor again(StoredProtocolSession(1));
    prompts->confirmAnswers = {true};  // its own file is there
    ASSERT_EQ(FormProtocol(again.session, again.fields), TFormOutcome::Stored);
    SetMainDatabase(nullptr);
    EXPECT_EQ(ReadFileBytes(fileA), bytesA);
}

// Files an earlier version kept in one directory for every database are read
// where they are; the next store writes the file beside the database and
// leaves the old one, which may be another database's, as it was.
TEST(ProtocolFiles, AFileInTheFormerDirectoryIsReadThereAndStoredBesideTheDatabase) {
    TempDir dir;
    const std::filesystem::path current = dir.path() / "lab" / "protocols", former = dir.path() / "program" / "protocols";
    const std::string currentFile = Utf8FromPath(current / "1.zorvexpro");
    const std::string formerFile = Utf8FromPath(former / "1.zorvexpro");
    std::filesystem::create_directories(former.parent_path());
    std::filesystem::create_directories(current.parent_path());
    SetMainDatabase(OpenDatabase(Utf8FromPath(current.parent_path() / "data.db")));
    ProtocolDirectoryScope scope(Utf8FromPath(current), Utf8FromPath(former));
    const auto prompts = std::make_shared<ScriptedPrompts>();  // no answers: any question fails the test
    PromptsScope promptsScope{prompts};

    Editor first(NewProtocolSession(Measurements({5})));
    ASSERT_EQ(FormProtocol(first.session, first.fields), TFormOutcome::Stored);
    std::filesystem::create_directories(former);
    std::filesystem::rename(PathFromUtf8(currentFile), PathFromUtf8(formerFile));  // where the earlier version put it
    const std::string formerBytes = ReadFileBytes(PathFromUtf8(formerFile));

    Editor reopened(StoredProtocolSession(1));
    EXPECT_TRUE(reopened.session.TextsLoaded);
    ASSERT_EQ(reopened.session.Measurements(kMethodSingle, kKindMagnetic).Records.size(), 1u);
    EXPECT_EQ(reopened.session.Measurements(kMethodSingle, kKindMagnetic).Records[0].workplace, 5);
    EXPECT_EQ(FormProtocol(reopened.session, reopened.fields), TFormOutcome::Stored);
    EXPECT_EQ(FileRecordCountOf(currentFile), "1");
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(formerFile)), formerBytes);

    DeleteProtocol(1);
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(currentFile)));
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(formerFile)), formerBytes);

    // In neither place: both are named.
    Editor second(NewProtocolSession(Measurements({6})));
    ASSERT_EQ(FormProtocol(second.session, second.fields), TFormOutcome::Stored);
    std::filesystem::remove(current / "2.zorvexpro");
    try {
        StoredProtocolSession(2);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Не найден файл протокола: ни «" + Utf8FromPath(current / "2.zorvexpro") + "», ни «" +
                                   Utf8FromPath(former / "2.zorvexpro") + "»");
    }
    EXPECT_TRUE(prompts->shown.empty());
    SetMainDatabase(nullptr);
}
