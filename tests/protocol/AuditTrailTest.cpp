#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <memory>
#include <set>
#include <string>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "protocol/ProtocolStore.h"
#include "storage/AuditLog.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/IntegrityCheck.h"
#include "storage/Levels.h"
#include "storage/MeasurementEdits.h"
#include "storage/ReferenceDirectories.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::ScriptedPrompts;
using zorvex::test::TempDir;

namespace zorvex {

// A differing entry shown field by field.
void PrintTo(const TAuditChange& c, std::ostream* out) {
    const auto text = [](const std::optional<std::string>& v) { return v ? "«" + *v + "»" : std::string("null"); };
    *out << c.kind << " " << c.table << "/" << c.objectId << "/" << c.field << ": " << text(c.oldValue) << " -> "
         << text(c.newValue);
}

}  // namespace zorvex

namespace {

// Single measurements at workplaces 1, 2, 3 (heights 2), ids 1..3 once stored.
TMeasureDataP ThreeMeasurements(double firstValue = 100) {
    TMeasureDataP data;
    for (int n = 1; n <= 3; ++n) {
        TMeasureRecord r;
        r.kind = kKindMagnetic;
        r.number = n;
        r.workplace = n;
        r.height = 2;
        r.time = EncodeDateTime(2010, 3, 5, 10, n, 0, 0);
        r.mvalue = firstValue + n;
        data(kMethodSingle, kKindMagnetic).Records.push_back(r);
    }
    data.SetMethodBytes();
    return data;
}

const TDateTime kProtocolDate = EncodeDateTime(2010, 5, 19, 12, 39, 28, 0);

std::string RowJson(const std::string& number, const std::string& consts, const std::string& tabdata) {
    return "{\"number\":\"" + number + "\",\"date\":\"2010-05-19 12-39-28\",\"consts\":\"" + consts +
           "\",\"tabdata\":\"" + tabdata + "\"}";
}

class AuditTrail : public ::testing::Test {
public:
    void SetUp() override {
        SetMainDatabase(OpenDatabase(dir.File("data.db")));
        scope.reset();
        prompts = std::make_shared<ScriptedPrompts>();
        scope = std::make_unique<PromptsScope>(prompts);
    }
    void TearDown() override { SetMainDatabase(nullptr); }

    TSQLiteDatabase& db() { return MainDatabase(); }
    void StoreThree(double firstValue = 100) {
        TMeasureDataP data = ThreeMeasurements(firstValue);
        TDBDataAdapter().PutData(data, "");
    }
    std::int32_t NewProtocol(const std::string& consts = "c") {
        std::int32_t id = 0;
        StoreProtocol(id, " 12 ", kProtocolDate, consts, "t");
        return id;
    }
    void WriteFile(std::int32_t id, double firstValue) {
        TMeasureDataP data = ThreeMeasurements(firstValue);
        ASSERT_EQ(WriteProtocolFile(id, false, data), TFileOutcome::Written);
    }
    std::string FileDigest(std::int32_t id) { return *Sha256OfFile(ProtocolFilePath(id)); }

    TempDir dir;
    ProtocolDirectoryScope protocols{Utf8FromPath(dir.path() / "protocols")};
    std::shared_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<PromptsScope> scope;
    TLevels levels = kLevelDefaults;
    std::optional<std::string> first;  // a digest kept between the steps of a case
};

struct ChangeCase {
    const char* name;
    std::function<void(AuditTrail&)> prepare;
    std::function<void(AuditTrail&)> change;
    // What the entry must say, known once the change is made (a file's digest).
    std::function<TAuditChange(AuditTrail&)> expected;
};

TEST_F(AuditTrail, EveryChangeLeavesExactlyOneEntryWithItsOldAndNewValues) {
    const auto none = [](AuditTrail&) {};
    const ChangeCase cases[] = {
        {"workplace", [](AuditTrail& t) { t.StoreThree(); }, [](AuditTrail& t) { SetStoredWorkplace(t.db(), 2, 7); },
         [](AuditTrail&) { return TAuditChange{audit::kWorkplace, "measurements", "2", "workplace", "2", "7"}; }},
        {"height", [](AuditTrail& t) { t.StoreThree(); }, [](AuditTrail& t) { SetStoredHeight(t.db(), 3, 1); },
         [](AuditTrail&) { return TAuditChange{audit::kHeight, "measurements", "3", "height", "2", "1"}; }},
        {"clear history", [](AuditTrail& t) { t.StoreThree(); }, [](AuditTrail& t) { ClearMeasurementHistory(t.db()); },
         [](AuditTrail&) {
             return TAuditChange{
                 audit::kClearHistory, "measurements", "", "", "{\"count\":3,\"firstid\":1,\"lastid\":3}",
                 "{\"count\":0}"};
         }},
        {"import", [](AuditTrail& t) { t.StoreThree(); }, [](AuditTrail& t) { t.StoreThree(500); },
         [](AuditTrail&) {
             return TAuditChange{
                 audit::kImport, "measurements", "4-6", "", std::nullopt, "{\"count\":3,\"firstid\":4,\"lastid\":6}"};
         }},
        {"level", none, [](AuditTrail& t) { SetLevel(t.db(), t.levels, msfEFHB, 7.25); },
         [](AuditTrail&) { return TAuditChange{audit::kLevel, "maxlevels", "swtefhb", "value", "2.5", "7.25"}; }},
        {"reference directory",
         [](AuditTrail&) {
             SaveDirectory("orgs", {{"O'Brien", "Адрес", "7700"}});
         },
         [](AuditTrail&) {
             SaveDirectory("orgs", {{"O'Brien", "Адрес", "7700"}, {"ООО «Север»", "", "35"}});
         },
         [](AuditTrail&) {
             return TAuditChange{audit::kDirectory,
                                 "orgs",
                                 "",
                                 "",
                                 "[[\"O'Brien\",\"Адрес\",\"7700\"]]",
                                 "[[\"O'Brien\",\"Адрес\",\"7700\"],[\"ООО «Север»\",\"\",\"35\"]]"};
         }},
        {"protocol stored", none, [](AuditTrail& t) { t.NewProtocol("a\r\nb"); },
         [](AuditTrail&) {
             return TAuditChange{
                 audit::kProtocolInsert, "protocols", "1", "", std::nullopt, RowJson("12", "a\\u000d\\u000ab", "t")};
         }},
        {"protocol replaced", [](AuditTrail& t) { t.NewProtocol("old"); },
         [](AuditTrail&) {
             std::int32_t id = 1;
             StoreProtocol(id, "13", kProtocolDate, "new", "t");
         },
         [](AuditTrail&) {
             return TAuditChange{audit::kProtocolUpdate,   "protocols", "1", "", RowJson("12", "old", "t"),
                                 RowJson("13", "new", "t")};
         }},
        {"protocol file written", [](AuditTrail& t) { t.NewProtocol(); }, [](AuditTrail& t) { t.WriteFile(1, 100); },
         [](AuditTrail& t) {
             return TAuditChange{audit::kProtocolFile, "protocols", "1", "file", std::nullopt, t.FileDigest(1)};
         }},
        {"protocol file replaced",
         [](AuditTrail& t) {
             t.NewProtocol();
             t.WriteFile(1, 100);
             t.first = t.FileDigest(1);
             t.prompts->confirmAnswers.push_back(true);  // "... уже существует, заменить?"
         },
         [](AuditTrail& t) { t.WriteFile(1, 200); },
         [](AuditTrail& t) {
             return TAuditChange{audit::kProtocolFile, "protocols", "1", "file", t.first, t.FileDigest(1)};
         }},
        {"protocol deleted", [](AuditTrail& t) { t.NewProtocol(); }, [](AuditTrail&) { DeleteProtocol(1); },
         [](AuditTrail&) {
             return TAuditChange{audit::kProtocolDelete, "protocols", "1", "", RowJson("12", "c", "t"), std::nullopt};
         }},
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        std::filesystem::remove(PathFromUtf8(dir.File("data.db")));
        std::filesystem::remove_all(dir.path() / "protocols");
        SetUp();
        levels = kLevelDefaults;
        c.prepare(*this);
        const auto before = ReadAuditLog(db());
        c.change(*this);
        const auto after = ReadAuditLog(db());
        ASSERT_EQ(after.size(), before.size() + 1);
        EXPECT_EQ(after.back().change, c.expected(*this));
        EXPECT_FALSE(after.back().user.empty());
        EXPECT_EQ(after.back().time.size(), 19u);
    }
}

TEST_F(AuditTrail, WhatChangesNothingEntersNothing) {
    StoreThree();
    SaveDirectory("orgs", {{"A", "", "1"}});
    const auto before = ReadAuditLog(db());
    SetStoredWorkplace(db(), 1, 1);  // already 1
    SetStoredHeight(db(), 99, 3);    // no such row
    SetLevel(db(), levels, msfMFLB, 250);
    SaveDirectory("orgs", {{" A ", "", "1"}});  // stored trimmed: the same entry
    EXPECT_EQ(ReadAuditLog(db()), before);
    EXPECT_EQ(RawRows(dir.File("data.db"), "select workplace from measurements where id = 1")[0][0], "1");
}

TEST_F(AuditTrail, AChangeAndItsEntryLandTogetherOrNotAtAll) {
    StoreThree();
    // An entry that cannot be written takes its change with it.
    RawExec(dir.File("data.db"),
            "create trigger refuse before insert on auditlog begin select raise(abort, 'full'); end");
    EXPECT_THROW(SetStoredWorkplace(db(), 2, 9), ESQLiteException);
    EXPECT_THROW(SetLevel(db(), levels, msfMFLB, 1), ESQLiteException);
    EXPECT_EQ(RawRows(dir.File("data.db"), "select workplace from measurements where id = 2")[0][0], "2");
    EXPECT_EQ(RawRows(dir.File("data.db"), "select value from maxlevels where name like 'swtmflb%'")[0][0], "250.0");
    RawExec(dir.File("data.db"), "drop trigger refuse");

    // A change undone with the caller's transaction takes its entry with it.
    const auto before = ReadAuditLog(db());
    EXPECT_THROW(db().RunInTransaction([&] {
        SetLevel(db(), levels, msfMFLB, 1);
        throw Exception("stop");
    }),
                 Exception);
    EXPECT_EQ(ReadAuditLog(db()), before);
}

TEST_F(AuditTrail, TheLogIsOnlyAppendedTo) {
    StoreThree();
    ASSERT_GE(ReadAuditLog(db()).size(), 2u);  // its start and the import
    EXPECT_THROW(db().Execute("update auditlog set newvalue = 'x'"), ESQLiteException);
    EXPECT_THROW(db().Execute("delete from auditlog"), ESQLiteException);
    EXPECT_EQ(ReadAuditLog(db()).front().change.kind, audit::kStart);
}

TEST_F(AuditTrail, AnOlderDatabaseGainsItsLogOnOpeningAndDataFilesNever) {
    TearDown();
    const std::string old = dir.File("old.db");
    OpenDatabase(old).reset();
    TMeasureDataP data = ThreeMeasurements();
    TDBDataAdapter().PutData(data, dir.File("set.zorvex"));
    for (const std::string& f : {old, dir.File("set.zorvex")})
        EXPECT_EQ(RawRows(f, "select count(*) from sqlite_master where name = 'auditlog'")[0][0], "0");
    SetMainDatabase(OpenDatabase(old));
    const auto entries = ReadAuditLog(db());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].change.kind, audit::kStart);
    EXPECT_EQ(RawRows(old,
                      "select count(*) from sqlite_master where name in ('downloadfingerprints', "
                      "'protocolfingerprints', 'auditlog_no_update', 'auditlog_no_delete')")[0][0],
              "4");
}

TEST(AuditText, JsonKeepsEveryCharacterStorable) {
    EXPECT_EQ(JsonQuoted("a\"b\\c\r\n"), "\"a\\\"b\\\\c\\u000d\\u000a\"");
    EXPECT_EQ(JsonQuoted("Привет №1"), "\"Привет №1\"");
    // Characters without a code-page-1251 byte, one beyond the basic plane.
    EXPECT_EQ(JsonQuoted("中😀"), "\"\\u4e2d\\ud83d\\ude00\"");
    EXPECT_EQ(AuditNumber(2.5), "2.5");
    EXPECT_EQ(AuditNumber(0.1), "0.1");
    EXPECT_EQ(AuditNumber(250), "250");
}

}  // namespace

namespace {

std::set<std::string> ProtocolIssues(const TIntegrityReport& report) {
    std::set<std::string> found;
    for (const auto& issue : report.issues) found.insert(issue.object + " " + issue.kind);
    return found;
}

TEST_F(AuditTrail, EachProtocolFileIsCheckedAgainstWhatTheProgramWrote) {
    for (double first : {100.0, 200.0, 300.0}) {
        const std::int32_t id = NewProtocol();
        WriteFile(id, first);
    }
    // A protocol of an earlier version: its row and file, no fingerprint.
    RawExec(dir.File("data.db"),
            "insert into protocols (number, date, consts, tabdata) values ('4', '2010-05-19 12-39-28', '', '')");
    std::filesystem::copy_file(PathFromUtf8(ProtocolFilePath(3)), PathFromUtf8(ProtocolFilePath(4)));
    TIntegrityReport report = VerifyIntegrity();
    EXPECT_TRUE(report.Clean()) << report.issues.at(0).text;
    EXPECT_EQ(report.protocols, 4u);
    EXPECT_EQ(report.protocolsWithoutFingerprint, 1u);

    // Protocol 1's file replaced by another protocol's, protocol 2's and 4's deleted.
    // Bytes, not copy_file: MinGW's overwrite_existing takes any two files for the same one.
    test::WriteFileBytes(PathFromUtf8(ProtocolFilePath(1)), test::ReadFileBytes(PathFromUtf8(ProtocolFilePath(3))));
    std::filesystem::remove(PathFromUtf8(ProtocolFilePath(2)));
    std::filesystem::remove(PathFromUtf8(ProtocolFilePath(4)));
    report = VerifyIntegrity();
    EXPECT_EQ(ProtocolIssues(report),
              (std::set<std::string>{"protocol 1 protocol-file-altered", "protocol 2 protocol-file-missing",
                                     "protocol 4 protocol-file-missing"}));
    EXPECT_NE(report.issues.at(0).text.find("Протокол 1 (№ 12): файл протокола"), std::string::npos)
        << report.issues[0].text;
}

}  // namespace
