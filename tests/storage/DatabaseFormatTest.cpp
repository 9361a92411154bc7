#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "base/RunSettings.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/Levels.h"
#include "storage/StoredTimes.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::TempDir;

TEST(DatabaseFormat, NewFileGetsTheSchemaExactlyAsWritten) {
    TempDir dir;
    const std::string file = dir.File("data.db");
    OpenDatabase(file).reset();

    const auto tables = RawRows(file, "select sql from sqlite_master where type='table' and name<>'sqlite_sequence' "
                                      "order by rowid");
    ASSERT_EQ(tables.size(), kSchemaStatements.size());
    // SQLite keeps the statement's text but writes its first two words in capitals.
    for (std::size_t i = 0; i < tables.size(); ++i)
        EXPECT_EQ(tables[i][0], "CREATE TABLE" + std::string(kSchemaStatements[i].substr(12)));
    EXPECT_EQ(tables[0][0],
              "CREATE TABLE measurements (id integer primary key autoincrement, number integer, workplace integer, "
              "height integer,method integer, kind integer, time datetime, mvalue double, evalue double, mvalue2 "
              "double, evalue2 double, band integer, rejection integer )");

    const auto levels = RawRows(file, "select id, typeof(value), value from maxlevels order by id");
    const char* const values[] = {"0.0", "250.0", "25.0", "25.0", "2.5", "5000.0", "500.0"};
    ASSERT_EQ(levels.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(levels[i][0], std::to_string(i + 1));
        EXPECT_EQ(levels[i][1], "real");
        EXPECT_EQ(levels[i][2], values[i]);
    }
    // Each name is its ASCII bytes followed by one zero byte.
    const auto names = RawRows(file, "select name, length(cast(name as blob)) from maxlevels order by id");
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(names[i][0], LevelNames[i] + std::string(1, '\0'));
        EXPECT_EQ(names[i][1], std::to_string(LevelNames[i].size() + 1));
    }
}

TEST(DatabaseFormat, ExistingFileIsLeftAloneAndEmptyFileCountsAsNew) {
    TempDir dir;
    const std::string file = dir.File("data.db");
    OpenDatabase(file).reset();
    RawExec(file, "insert into maxlevels (name, value) values('x', 1)");
    OpenDatabase(file).reset();  // no statement runs on an existing file
    EXPECT_EQ(RawRows(file, "select count(*) from maxlevels")[0][0], "8");

    const std::string empty = dir.File("empty.db");
    zorvex::test::WriteFileBytes(PathFromUtf8(empty), "");
    OpenDatabase(empty).reset();
    EXPECT_EQ(RawRows(empty, "select count(*) from maxlevels")[0][0], "7");
}

// Two programs find the same file new at once: whoever takes the write lock
// second finds the schema the first one wrote and leaves it as it is.
TEST(DatabaseFormat, ASchemaWrittenMeanwhileByAnotherProgramIsKept) {
    TempDir dir;
    const std::string file = dir.File("data.db");
    auto late = TSQLiteDatabase::Open(file);  // found the file new, not yet written
    OpenDatabase(file).reset();
    RawExec(file, "update maxlevels set value=1 where id=6");
    CreateSchema(*late);
    EXPECT_FALSE(late->InTransaction());
    EXPECT_EQ(RawRows(file, "select count(*) from sqlite_master where type='table'")[0][0],
              std::to_string(kSchemaStatements.size() + 1));  // and sqlite_sequence
    EXPECT_EQ(RawRows(file, "select count(*), sum(value) from maxlevels")[0],
              (std::vector<std::string>{"7", "803.5"}));

    // While the first one is still writing, the second waits for it.
    const std::string other = dir.File("other.db");
    auto first = TSQLiteDatabase::Open(other);
    auto second = TSQLiteDatabase::Open(other);
    first->StartTransaction();
    first->Execute(std::string(kSchemaStatements[0]));
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        first->CommitTransaction();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(CreateSchema(*second));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
    committer.join();
    EXPECT_EQ(RawRows(other, "select count(*) from sqlite_master where type='table'")[0][0], "2");
}

TEST(DatabaseFormat, WorkingDirectoryEndsAtTheProgramDirectory) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "sub");
    std::filesystem::current_path(dir.path());
    auto db = OpenDatabase("sub/x.zorvex");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "sub" / "x.zorvex"));
    EXPECT_EQ(std::filesystem::current_path(), PathFromUtf8(ProgramDirectory()));
    // A directory that cannot be entered is an error, never a file elsewhere.
    EXPECT_THROW(OpenDatabase(Utf8FromPath(dir.path() / "missing" / "y.zorvex")), ESQLiteException);
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(ProgramDirectory()) / "y.zorvex"));
}

TEST(DatabaseFormat, MeasurementRowsAsStored) {
    TempDir dir;
    const std::string file = dir.File("data.db");
    TMeasureDataP data;
    TMeasureRecord r;
    r.kind = 0;
    r.number = 3;
    r.time = EncodeDateTime(2012, 5, 1, 8, 3, 7, 900);
    r.mvalue = 250;
    r.evalue = -1;
    data(0, 0).Records.push_back(r);
    TDBDataAdapter().PutData(data, file);

    const auto rows = RawRows(file, "select hex(time), typeof(mvalue), mvalue, evalue, method, kind, number, "
                                    "typeof(number) from measurements");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "323031322D30352D30312030383A30333A303700");  // 2012-05-01 08:03:07 + zero byte
    EXPECT_EQ(rows[0][1], "real");
    EXPECT_EQ(rows[0][2], "250.0");
    EXPECT_EQ(rows[0][3], "-1.0");
    EXPECT_EQ(rows[0][7], "integer");

    // Through the layer a floating column with a lower-case type reads as SQLite's text.
    auto db = OpenDatabase(file);
    EXPECT_EQ(db->Query("select mvalue from measurements")->TextAt(0), "250.0");
}

TEST(StoredTimes, FormsAndParsing) {
    EXPECT_EQ(FileStamp(EncodeDateTime(2010, 5, 19, 12, 39, 28, 600)), "2010-05-19 12-39-28");
    EXPECT_EQ(StoredTime(EncodeDateTime(2012, 5, 1, 8, 3, 7, 999)), "2012-05-01 08:03:07");
    EXPECT_EQ(StoredTime(EncodeDateTime(2012, 12, 31, 23, 59, 59, 999)), "2012-12-31 23:59:59");
    EXPECT_EQ(ParseStoredDate("2012-5-1"), EncodeDate(2012, 5, 1));
    EXPECT_EQ(ParseStoredDate("2012-05-01 08:03:07"), EncodeDate(2012, 5, 1));
    EXPECT_EQ(ParseStoredTime("2012-05-01 08:03:07"), EncodeDateTime(2012, 5, 1, 8, 3, 7, 0));
    EXPECT_EQ(ParseStoredTime("2012-05-01 08.03.07"), EncodeDateTime(2012, 5, 1, 8, 3, 7, 0));
    for (const char* bad : {"2012-02-30", "2012-xx-01", "20120501", "2012-05-01 08:03", "2012-05-01 25:00:00",
                            "2012-05-01 08:03:xx", ""}) {
        EXPECT_THROW(ParseStoredTime(bad), EConvertError) << bad;
    }
}
