#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "storage/Database.h"
#include "storage/InputHistory.h"
#include "storage/SQLiteDatabase.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::TempDir;

namespace {

class InputHistory : public ::testing::Test {
protected:
    void SetUp() override { SetMainDatabase(OpenDatabase(dir.File("data.db"))); }
    void TearDown() override { SetMainDatabase(nullptr); }

    static std::int64_t Used(int field, const std::string& text) {
        return MainDatabase().ScalarInt("select used from protocollists where const=? and value=?", {field, text});
    }
    static std::int64_t Entries() { return MainDatabase().ScalarInt("select count(*) from protocollists"); }

    TempDir dir;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(EncodeDateTime(2011, 3, 31, 12, 0, 0, 0));
    ClockScope clockScope{clock};
};

// The editor's fields by control name, as the window answers them.
struct FakeEditor {
    std::map<std::string, std::string> texts = {
        {"Edit0", "12"}, {"Edit1", ""}, {"Edit2", ""}, {"Edit3", ""},       {"Edit4", ""},        {"Memo5", ""},
        {"Memo6", ""},   {"Memo7", ""}, {"Edit8", ""}, {"ComboBoxEx9", ""}, {"ComboBoxEx10", ""}, {"Memo11", ""}};
    TFieldLookup Lookup() const {
        return [this](const std::string& name) -> std::optional<std::string> {
            const auto it = texts.find(name);
            if (it == texts.end()) return std::nullopt;
            return it->second;
        };
    }
};

}  // namespace

TEST_F(InputHistory, RecordsTextsExactlyAndCountsRepeatedUse) {
    struct Case {
        std::string text;
        int stores;
        std::int64_t used;  // 0: not recorded
    };
    const Case cases[] = {
        {" \t  ", 1, 0},    // blanks only
        {"", 1, 0},         //
        {"Иванов", 2, 2},   // a second store raises `used`
        {" Иванов", 1, 1},  // a leading space is a different entry
        {"Иванов ", 1, 1},  // and so is a trailing one
        {"иванов", 1, 1},   // case is kept
        {"a\r\nb", 3, 3},   // lines kept
    };
    for (const Case& c : cases)
        for (int i = 0; i < c.stores; ++i) RememberValue(9, c.text);
    for (const Case& c : cases) EXPECT_EQ(Used(9, c.text), c.used) << "[" << c.text << "]";
    EXPECT_EQ(Entries(), 5);
}

TEST_F(InputHistory, AStoreMovesLastUseToNow) {
    RememberValue(10, "Петров");
    clock->Set(EncodeDateTime(2011, 4, 2, 9, 0, 0, 0));
    RememberValue(10, "Петров");
    EXPECT_EQ(MainDatabase().ScalarText("select lastuse from protocollists"), "40635.375");
}

TEST_F(InputHistory, PurgeByCalendarAge) {
    // Now is 31 March 2011 12:00: a month back is 28 February 12:00, a year back 31 March 2010 12:00.
    struct Case {
        const char* text;
        TDateTime lastUse;
        int uses;
        bool kept;
    };
    const Case cases[] = {
        {"40 days, used once", EncodeDateTime(2011, 2, 19, 12, 0, 0, 0), 1, false},
        {"40 days, used thrice", EncodeDateTime(2011, 2, 19, 12, 0, 0, 0), 3, true},
        {"a calendar month minus an hour, once", EncodeDateTime(2011, 2, 28, 13, 0, 0, 0), 1, true},
        {"just over a calendar month, once", EncodeDateTime(2011, 2, 28, 11, 0, 0, 0), 1, false},
        {"just under a year, often", EncodeDateTime(2010, 3, 31, 12, 0, 1, 0), 7, true},
        {"just over a year, often", EncodeDateTime(2010, 3, 31, 11, 59, 59, 0), 7, false},
        {"today, once", EncodeDateTime(2011, 3, 31, 8, 0, 0, 0), 1, true},
    };
    for (const Case& c : cases) {
        clock->Set(c.lastUse);
        for (int i = 0; i < c.uses; ++i) RememberValue(9, c.text);
    }
    clock->Set(EncodeDateTime(2011, 3, 31, 12, 0, 0, 0));
    PurgeHistory();
    for (const Case& c : cases) EXPECT_EQ(Used(9, c.text) != 0, c.kept) << c.text;
}

TEST_F(InputHistory, ListsAreSeparatePerFieldAndSortedByStoredBytes) {
    for (const char* text : {"иванов", "Иванов", "ёжиков", "Ёлкин", "Zed", "2-й", "аистов"}) RememberValue(9, text);
    RememberValue(10, "Сидоров");
    RememberValue(1, "ООО Ромашка");
    RememberValue(5, "ИЭП-05");

    // Code page 1251 puts Ё and ё before every other Cyrillic letter (UTF-8 would not).
    EXPECT_EQ(HistoryTexts(9),
              (std::vector<std::string>{"2-й", "Zed", "Ёлкин", "ёжиков", "Иванов", "аистов", "иванов"}));

    FakeEditor editor;
    std::vector<std::pair<std::string, std::vector<std::string>>> filled;
    FillHistoryLists(editor.Lookup(), [&](const std::string& name, const std::vector<std::string>& items) {
        filled.emplace_back(name, items);
    });
    ASSERT_EQ(filled.size(), 2u);
    EXPECT_EQ(filled[0].first, "ComboBoxEx9");
    EXPECT_EQ(filled[0].second, HistoryTexts(9));
    EXPECT_EQ(filled[1].first, "ComboBoxEx10");
    EXPECT_EQ(filled[1].second, std::vector<std::string>{"Сидоров"});
}

TEST_F(InputHistory, RecordingWalksFieldsFromOneToTheFirstMissingNumber) {
    FakeEditor editor;
    editor.texts["Edit1"] = "ООО Ромашка";
    editor.texts["Memo5"] = "ИЭП-05\r\nИЭП-06";
    editor.texts["ComboBoxEx10"] = "Сидоров";
    editor.texts["Memo11"] = "Заключение";
    editor.texts["Edit13"] = "beyond the gap";  // no field 12: never reached
    RecordFieldTexts(editor.Lookup());

    EXPECT_EQ(Used(1, "ООО Ромашка"), 1);
    EXPECT_EQ(Used(5, "ИЭП-05\r\nИЭП-06"), 1);
    EXPECT_EQ(Used(10, "Сидоров"), 1);
    EXPECT_EQ(Used(11, "Заключение"), 1);
    EXPECT_EQ(Entries(), 4);  // the number (field 0) and the blank fields are not recorded
    EXPECT_FALSE(MainDatabase().InTransaction());
}

TEST_F(InputHistory, AFailedRecordingLeavesTheHistoryAsItWas) {
    RememberValue(1, "ООО Ромашка");
    FakeEditor editor;
    editor.texts["Edit1"] = "ООО Ромашка";
    editor.texts["Edit2"] = "Петров";
    editor.texts["Edit3"] = "Цель 中";  // no byte in the code page: the store of field 3 fails
    EXPECT_THROW(RecordFieldTexts(editor.Lookup()), EConvertError);

    EXPECT_EQ(Used(1, "ООО Ромашка"), 1);
    EXPECT_EQ(Used(2, "Петров"), 0);
    EXPECT_EQ(Entries(), 1);

    // The transaction was ended: the next recording works.
    editor.texts["Edit3"] = "Цель";
    RecordFieldTexts(editor.Lookup());
    EXPECT_EQ(Used(1, "ООО Ромашка"), 2);
    EXPECT_EQ(Used(3, "Цель"), 1);
}
