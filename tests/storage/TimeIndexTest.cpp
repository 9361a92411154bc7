#include "storage/TimeIndex.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "storage/Database.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

namespace zorvex {
namespace {
using test::RawExec;
using test::RawRows;
using test::TempDir;

// A file as another installation leaves it: the eleven tables, no index, and
// rows whose times carry the program's trailing zero byte unless `bare`.
void WriteForeignFile(const std::string& file, const std::vector<std::string>& times, bool bare = false) {
    std::string sql;
    for (const auto& statement : kSchemaStatements) sql += std::string(statement) + ";";
    for (const auto& time : times)
        sql += "insert into measurements (method, kind, time, mvalue) values (0, 0, '" + time + "'" +
               (bare ? "" : " || char(0)") + ", 1.5);";
    RawExec(file, sql);
}

bool HasIndex(const std::string& file) {
    return RawRows(file, std::string("select count(*) from sqlite_master where type = 'index' and name = '") +
                             kMeasurementTimeIndex + "'")[0][0] == "1";
}

std::vector<std::string> ScannedDays(TSQLiteDatabase& db) {
    std::vector<std::string> days;
    db.ColumnTexts("select distinct date(time) as date from measurements order by time", days);
    return days;
}

// Closes the main database a test installed.
struct MainDatabaseGuard {
    ~MainDatabaseGuard() { SetMainDatabase(nullptr); }
};

TEST(TimeIndex, MainDatabaseGainsIndexDataFileDoesNot) {
    TempDir dir;
    const std::string mainFile = dir.File("main.db"), dataFile = dir.File("set.zorvex");
    const std::vector<std::string> times = {"2021-03-04 10:00:00", "2020-01-01 00:00:00", "2021-03-04 23:59:59"};
    WriteForeignFile(mainFile, times);
    WriteForeignFile(dataFile, times);
    {
        MainDatabaseGuard guard;
        SetMainDatabase(OpenDatabase(mainFile));
        EXPECT_FALSE(MainDatabase().InTransaction());
        auto data = OpenDatabase(dataFile);
        EXPECT_EQ(data->ScalarInt("select count(*) from measurements"), 3);
    }
    EXPECT_TRUE(HasIndex(mainFile));
    EXPECT_FALSE(HasIndex(dataFile));
    EXPECT_EQ(RawRows(mainFile, "select count(*), sum(mvalue) from measurements")[0],
              (std::vector<std::string>{"3", "4.5"}));

    // A new file gets the index too, and one without measurements still opens.
    const std::string fresh = dir.File("fresh.db"), other = dir.File("other.db");
    RawExec(other, "create table notes (text text)");
    MainDatabaseGuard guard;
    SetMainDatabase(OpenDatabase(fresh));
    EXPECT_TRUE(HasIndex(fresh));
    SetMainDatabase(TSQLiteDatabase::Open(other));
    EXPECT_EQ(MainDatabase().ScalarInt("select count(*) from notes"), 0);
}

TEST(TimeIndex, ReadOnlyFileOpensWithoutIndex) {
    // Root ignores file modes, so the check runs in a child without privileges.
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string file = dir.File("ro.db");
    WriteForeignFile(file, {"2022-05-06 12:00:00", "2022-05-07 00:00:00"});
    std::filesystem::permissions(PathFromUtf8(file), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read |
                                                         std::filesystem::perms::others_read);
    EXPECT_EXIT(
        {
#ifndef _WIN32
            if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
#endif
            try {
                SetMainDatabase(OpenDatabase(file));
                if (MainDatabase().InTransaction()) std::_Exit(4);
                const std::vector<std::string> days = StoredDays(MainDatabase());
                if (days != std::vector<std::string>{"2022-05-06", "2022-05-07"}) std::_Exit(5);
            } catch (...) {
                std::_Exit(6);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(HasIndex(file));
}

TEST(TimeIndex, LockedFileOpensAtOnceWithoutIndex) {
    TempDir dir;
    const std::string file = dir.File("locked.db");
    WriteForeignFile(file, {"2022-05-06 12:00:00"});
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        MainDatabaseGuard guard;
        const auto start = std::chrono::steady_clock::now();
        SetMainDatabase(OpenDatabase(file));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_FALSE(MainDatabase().InTransaction());
        EXPECT_EQ(StoredDays(MainDatabase()), std::vector<std::string>{"2022-05-06"});
    }
    sqlite3_exec(writer, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_FALSE(HasIndex(file));
}

TEST(TimeIndex, StoredDaysEqualsDistinctDates) {
    struct Case {
        const char* name;
        std::vector<std::string> times;
        std::vector<std::string> days;
        bool bare = false;  // times without the trailing zero byte
    };
    const std::vector<Case> cases = {
        {"empty", {}, {}},
        {"one row", {"2015-07-08 09:10:11"}, {"2015-07-08"}},
        {"day edges unsorted",
         {"2019-12-31 23:59:59", "2020-01-01 00:00:00", "2019-12-31 00:00:00", "2020-01-01 23:59:59",
          "2020-01-02 00:00:00", "2019-12-31 12:00:00"},
         {"2019-12-31", "2020-01-01", "2020-01-02"}},
        {"same second repeated", {"2018-02-28 23:59:59", "2018-02-28 23:59:59", "2018-03-01 00:00:00"},
         {"2018-02-28", "2018-03-01"}},
        {"years apart", {"2030-06-01 08:00:00", "2001-06-01 08:00:00", "2016-02-29 23:59:59"},
         {"2001-06-01", "2016-02-29", "2030-06-01"}},
        {"without zero byte", {"2020-01-01 23:59:59", "2020-01-01 00:00:00", "2020-01-02 00:00:00"},
         {"2020-01-01", "2020-01-02"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir.File("days.db");
        WriteForeignFile(file, c.times, c.bare);
        auto db = OpenDatabase(file);
        EXPECT_EQ(StoredDays(*db), ScannedDays(*db));  // without the index: the scan itself
        EnsureTimeIndex(*db);
        ASSERT_TRUE(HasIndex(file));
        EXPECT_EQ(StoredDays(*db), c.days);
        EXPECT_EQ(StoredDays(*db), ScannedDays(*db));
    }
}

// Times of any bytes and types, each given as an SQL expression: the walk over
// the index must end, and give what the scan with the index gives.
TEST(TimeIndex, StoredDaysFinishForAnyStoredTimeAndEqualTheScan) {
    const std::string kDay1 = "'2012-05-01 08:03:07' || char(0)";
    struct Case {
        const char* name;
        std::vector<std::string> times;
        std::vector<std::string> days;  // "" stands for the NULL of a time without a date
    };
    std::vector<Case> cases = {
        {"a code-page letter right after the date",
         {kDay1, "cast(x'323031322D30352D303220E32030383A30333A3037' as text)"},
         {"2012-05-01", ""}},
        {"blob times",
         {"cast('2012-05-02 08:03:07' as blob)", kDay1, "x'FFFE'", "'2012-05-02 09:00:00' || char(0)"},
         {"2012-05-01", "2012-05-02", ""}},
        {"every type and odd texts",
         {"null", "2456000", "2456000.75", "'2012-05-01'", "'2012-05-01 08:00:00' || char(0)",
          "'2012-05-01 24:00:00'", "'2012-05-01 23:59:59' || char(0) || 'x'", "'2012-05-01' || x'ff'",
          "'2012-05-01' || char(255)", "'2012-05-01T10:00:00'", "'2012-02-30 10:00:00'", "'2012-13-01 10:00:00'",
          "'2012-05-02 01:00:00'"},
         {"", "2012-03-13", "2012-03-14", "2012-02-30", "2012-05-01", "2012-05-02"}},
        {"bytes past a day's last second",
         {"'2012-05-01 23:59:59' || char(0)", "'2012-05-01 23:59:59' || char(0) || x'ffff'",
          "'2012-05-01 23:59:59' || char(0, 0)", "'2012-05-01 23:59:59'", "'2012-05-03 00:00:00' || char(0)"},
         {"2012-05-01", "2012-05-03"}},
    };
    // More times outside the stored form than are worth a step each.
    Case many{"many times in another form", {}, {"2012-05-01", "2012-05-02", "2012-05-03", "2012-05-04"}};
    for (int i = 0; i < 300; ++i)
        many.times.push_back("strftime('%Y-%m-%dT%H:%M:%S', '2012-05-01', '+" + std::to_string(i * 1000) +
                             " seconds')");
    cases.push_back(many);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir.File("days.db");
        std::string sql;
        for (const auto& statement : kSchemaStatements) sql += std::string(statement) + ";";
        sql += kCreateTimeIndexSql + std::string(";");
        for (const auto& time : c.times)
            sql += "insert into measurements (method, kind, time, mvalue) values (0, 0, " + time + ", 1);";
        RawExec(file, sql);
        ASSERT_TRUE(HasIndex(file));
        // A walk that does not move on never returns: it runs in a child with a time limit.
        EXPECT_EXIT(
            {
#ifndef _WIN32  // CTest's time limit stands in for it on Windows
                alarm(5);
#endif
                auto db = OpenDatabase(file);
                const std::vector<std::string> days = StoredDays(*db);
                for (const auto& day : days) std::fprintf(stderr, "[%s] ", day.c_str());
                std::_Exit(days == c.days ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
        auto db = OpenDatabase(file);
        EXPECT_EQ(ScannedDays(*db), c.days);  // the expected days are the scan's
    }
}

TEST(TimeIndex, DayQueriesSeekThroughIndex) {
    TempDir dir;
    const std::string file = dir.File("plan.db");
    WriteForeignFile(file, {"2020-01-01 00:00:00"});
    auto db = OpenDatabase(file);
    EnsureTimeIndex(*db);
    const std::string filter = StoredDaysFilter(EncodeDate(2020, 1, 1), EncodeDate(2020, 1, 31));
    const auto plan = RawRows(file, "explain query plan select * from measurements where " + filter);
    std::string text;
    for (const auto& row : plan) text += row.back() + "\n";
    EXPECT_TRUE(text.find("USING INDEX measurements_time") != std::string::npos ||
                text.find("USING COVERING INDEX measurements_time") != std::string::npos)
        << text;
}

}  // namespace
}  // namespace zorvex
