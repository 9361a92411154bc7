#include <gtest/gtest.h>

#include <filesystem>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/FileDataAdapter.h"
#include "storage/StoredTimes.h"
#include "support/FileSizeLimit.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::TempDir;

namespace {

TMeasureRecord Record(int kind, double time, double m, double e, int number = 0) {
    TMeasureRecord r;
    r.kind = static_cast<std::uint8_t>(kind);
    r.time = time;
    r.mvalue = m;
    r.evalue = e;
    r.number = number;
    return r;
}

// A matrix with records in several series, times out of order within a series.
TMeasureDataP SampleMatrix() {
    TMeasureDataP data;
    data.SetMethodBytes();
    const TDateTime day = EncodeDate(2012, 5, 1);
    TMeasureRecord a = Record(0, day + EncodeTime(10, 0, 0, 0), 5000, 12.75, 1);
    a.workplace = 11;
    a.height = 3;
    a.mvalue2 = 1.5;
    a.evalue2 = -1;
    data(0, 0).Records.push_back(a);
    data(0, 0).Records.push_back(Record(0, day + EncodeTime(9, 0, 0, 0), 4999.99, -1, 2));
    TMeasureRecord b = Record(1, day + EncodeTime(11, 0, 0, 0), 0.125, -1, 3);
    b.band = 1;
    b.rejection = 1;
    data(0, 1).Records.push_back(b);
    for (int i = 0; i < 3; ++i) data(1, 4).Records.push_back(Record(4, day + EncodeTime(12, 0, i * 10, 0), -1, i + 0.5));
    return data;
}

class MeasurementStore : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir.File("data.db");
        SetMainDatabase(OpenDatabase(file));
    }
    void TearDown() override { SetMainDatabase(nullptr); }
    TempDir dir;
    std::string file;
};

}  // namespace

TEST_F(MeasurementStore, PutGivesConsecutiveIdsInMatrixOrderAndGetReadsBack) {
    TMeasureDataP data = SampleMatrix();
    TDBDataAdapter().PutData(data, "");
    EXPECT_EQ(data(0, 0).Records[0].id, 1);
    EXPECT_EQ(data(0, 0).Records[1].id, 2);
    EXPECT_EQ(data(0, 1).Records[0].id, 3);
    EXPECT_EQ(data(1, 4).Records[2].id, 6);

    TDBDataAdapter store;
    TMeasureDataP loaded;
    store.GetData("", loaded);
    EXPECT_EQ(store.Filter, "1=1");
    // Each series comes back in time order.
    ASSERT_EQ(loaded(0, 0).Records.size(), 2u);
    EXPECT_EQ(loaded(0, 0).Records[0], data(0, 0).Records[1]);
    EXPECT_EQ(loaded(0, 0).Records[1], data(0, 0).Records[0]);
    EXPECT_EQ(loaded(0, 1).Records[0], data(0, 1).Records[0]);
    EXPECT_EQ(loaded(1, 4).Records, data(1, 4).Records);
    EXPECT_EQ(loaded(1, 4).method, 1);
    EXPECT_EQ(loaded.TotalRecords(), 6u);
}

TEST_F(MeasurementStore, SecondsAreTruncatedAndLiteralUpperBoundsMissTheLastSecond) {
    TMeasureDataP data;
    data(0, 3).Records.push_back(Record(3, EncodeDateTime(2012, 12, 31, 23, 59, 59, 900), 1, -1));
    data(0, 3).Records.push_back(Record(3, EncodeDateTime(2012, 12, 31, 23, 59, 58, 0), 2, -1));
    TDBDataAdapter().PutData(data, "");

    TDBDataAdapter store;
    store.Filter = "(time >= '2012-12-31 00:00:00') and (time <= '2012-12-31 23:59:59')";
    TMeasureDataP loaded;
    store.GetData("", loaded);
    ASSERT_EQ(loaded(0, 3).Records.size(), 1u);  // the row stored at 23:59:59 sorts after the literal
    EXPECT_EQ(loaded(0, 3).Records[0].mvalue, 2);

    TMeasureDataP all;
    TDBDataAdapter().GetData("", all);
    EXPECT_EQ(all(0, 3).Records[1].time, EncodeDateTime(2012, 12, 31, 23, 59, 59, 0));
}

TEST_F(MeasurementStore, DayFiltersTakeWholeDaysUpToTheLastSecond) {
    TMeasureDataP data;
    int number = 0;
    for (const TDateTime day : {EncodeDate(2024, 1, 1), EncodeDate(2024, 5, 31), EncodeDate(2024, 6, 1),
                                EncodeDate(2024, 6, 30), EncodeDate(2024, 12, 31), EncodeDate(2025, 1, 1),
                                EncodeDate(9999, 12, 31)}) {
        data(0, 3).Records.push_back(Record(3, day, 1, -1, ++number));
        data(0, 3).Records.push_back(Record(3, day + EncodeTime(23, 59, 59, 0), 1, -1, ++number));
    }
    TDBDataAdapter().PutData(data, "");
    struct Case {
        TDateTime first, last;
        std::vector<int> numbers;
    };
    const Case cases[] = {
        {EncodeDate(2024, 6, 1), EncodeDate(2024, 6, 30), {5, 6, 7, 8}},                 // a month
        {EncodeDate(2024, 12, 31), EncodeDate(2024, 12, 31), {9, 10}},                   // a year's last day
        {EncodeDate(2024, 1, 1), EncodeDate(2024, 12, 31), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},  // a year
        {EncodeDate(2025, 1, 1), EncodeDate(9999, 12, 31), {11, 12, 13, 14}},            // up to the last day
        {EncodeDate(9999, 12, 31), EncodeDate(9999, 12, 31), {13, 14}},
    };
    for (const Case& c : cases) {
        TDBDataAdapter store;
        store.Filter = StoredDaysFilter(c.first, c.last);
        TMeasureDataP loaded;
        store.GetData("", loaded);
        std::vector<int> numbers;
        for (const auto& r : loaded(0, 3).Records) numbers.push_back(r.number);
        EXPECT_EQ(numbers, c.numbers) << store.Filter;
    }
    EXPECT_THROW(StoredDaysFilter(EncodeDate(2024, 2, 1), EncodeDate(2024, 1, 31)), EConvertError);
    EXPECT_THROW(StoredDaysFilter(EncodeDate(1, 1, 1) - 1, EncodeDate(2024, 1, 31)), EConvertError);
}

TEST_F(MeasurementStore, ForeignRowsOutsideTheMatrixAreSkipped) {
    RawExec(file,
            "insert into measurements (method, kind, time, mvalue, evalue, mvalue2, evalue2, band) values "
            "(2, 0, '2012-01-01 00:00:00', 1, 1, 1, 1, 0), (0, 5, '2012-01-01 00:00:00', 1, 1, 1, 1, 0), "
            "(-1, 1, '2012-01-01 00:00:00', 1, 1, 1, 1, 0), (1, 2, '2012-01-01 00:00:01', 7, 8, 0, 0, 2)");
    TMeasureDataP loaded;
    TDBDataAdapter().GetData("", loaded);
    EXPECT_EQ(loaded.TotalRecords(), 1u);
    EXPECT_EQ(loaded(1, 2).Records.at(0).evalue, 8);
    EXPECT_EQ(loaded(1, 2).Records.at(0).band, 2);
}

TEST_F(MeasurementStore, UnreadableRowsRaiseAfterKeepingTheRowsBefore) {
    RawExec(file,
            "insert into measurements (method, kind, number, time, mvalue, evalue, mvalue2, evalue2, band) values "
            "(0, 3, 'n/a', '2012-01-01 00:00:00', 1, -1, -1, -1, 0), "
            "(0, 3, 2, '2012-01-01 00:0x:00', 1, -1, -1, -1, 0)");
    TMeasureDataP loaded;
    EXPECT_THROW(TDBDataAdapter().GetData("", loaded), EConvertError);
    ASSERT_EQ(loaded(0, 3).Records.size(), 1u);
    EXPECT_EQ(loaded(0, 3).Records[0].number, 0);  // text that does not convert gives 0 there
    RawExec(file, "update measurements set time='2012-01-01 00:00:01', mvalue='abc' where id=2");
    TMeasureDataP again;
    EXPECT_THROW(TDBDataAdapter().GetData("", again), EConvertError);
}

// Integer columns are read as the lower-case schema means, whatever type name
// SQLite reports: a text that is no integer is an error in method, kind and
// band, and 0 in number, workplace and height; the error names the row.
TEST_F(MeasurementStore, IntegerColumnsHoldingTextAreReadAsText) {
    struct Case {
        const char* column;
        const char* stored;
        const char* error;  // empty: the row loads
    };
    const Case cases[] = {
        {"method", "'abc'", "'abc' is not a valid integer value (запись id 2)"},
        {"kind", "'1x'", "'1x' is not a valid integer value (запись id 2)"},
        {"band", "'2zz'", "'2zz' is not a valid integer value (запись id 2)"},
        {"kind", "1.5", "'1.5' is not a valid integer value (запись id 2)"},  // a number, but no integer
        {"time", "'2012-01-01 0x:00:00'", "'2012-01-01 0x:00:00' is not a valid date (запись id 2)"},
        {"mvalue", "'abc'", "'abc' is not a valid floating point value (запись id 2)"},
        {"number", "'n/a'", ""},
        {"workplace", "'x'", ""},
        {"height", "'1.5'", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " = " + c.stored);
        RawExec(file, "delete from measurements; delete from sqlite_sequence");
        RawExec(file,
                "insert into measurements (method, kind, number, workplace, height, time, mvalue, evalue, mvalue2, "
                "evalue2, band) values (0, 1, 5, 6, 2, '2012-01-01 00:00:00', 1, -1, -1, -1, 0), "
                "(0, 1, 5, 6, 2, '2012-01-01 00:00:01', 1, -1, -1, -1, 0)");
        RawExec(file, std::string("update measurements set ") + c.column + " = " + c.stored + " where id = 2");
        TMeasureDataP loaded;
        TDBDataAdapter adapter;
        try {
            adapter.GetData("", loaded);
            EXPECT_STREQ(c.error, "") << "loaded";
            ASSERT_EQ(loaded(0, 1).Records.size(), 2u);
            const TMeasureRecord& r = loaded(0, 1).Records[1];
            const std::string column = c.column;
            EXPECT_EQ(r.number, column == "number" ? 0 : 5);
            EXPECT_EQ(r.workplace, column == "workplace" ? 0 : 6);
            EXPECT_EQ(r.height, column == "height" ? 0 : 2);
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), c.error);
            EXPECT_EQ(loaded(0, 1).Records.size(), 1u);  // the rows before it stay loaded
        }
        EXPECT_EQ(loaded.TotalRecords() - loaded(0, 1).Records.size(), 0u);
    }
}

TEST_F(MeasurementStore, FailedInsertKeepsEarlierRowsAndLeavesTheConnectionUsable) {
    RawExec(file,
            "create trigger refuse before insert on measurements when new.number = 3 "
            "begin select raise(abort, 'refused'); end");
    TMeasureDataP data = SampleMatrix();
    EXPECT_THROW(TDBDataAdapter().PutData(data, ""), ESQLiteException);
    EXPECT_EQ(data(0, 0).Records[1].id, 2);
    EXPECT_EQ(data(0, 1).Records[0].id, 0);
    EXPECT_EQ(RawRows(file, "select count(*) from measurements")[0][0], "2");
    EXPECT_FALSE(MainDatabase().InTransaction());
    MainDatabase().StartTransaction();  // no transaction was left open
    MainDatabase().CommitTransaction();
}

TEST_F(MeasurementStore, LockedMainDatabaseLosesNothing) {
    TMeasureDataP first = SampleMatrix();
    TDBDataAdapter().PutData(first, "");
    MainDatabase().SetBusyTimeout(50);
    auto other = TSQLiteDatabase::Open(file);
    other->Execute("BEGIN EXCLUSIVE");
    TMeasureDataP second = SampleMatrix();
    EXPECT_THROW(TDBDataAdapter().PutData(second, ""), ESQLiteException);
    EXPECT_THROW(TDBDataAdapter().GetData("", second), ESQLiteException);
    other->Execute("ROLLBACK");
    EXPECT_FALSE(MainDatabase().InTransaction());
    TMeasureDataP loaded;
    TDBDataAdapter().GetData("", loaded);
    EXPECT_EQ(loaded.TotalRecords(), 6u);
    TDBDataAdapter().PutData(second, "");  // and the store works again
    EXPECT_EQ(MainDatabase().ScalarInt("select count(*) from measurements"), 12);
}

TEST_F(MeasurementStore, AReaderBlockingTheCommitLeavesNoOpenTransactionAndNoStaleIds) {
    TMeasureDataP first = SampleMatrix();
    TDBDataAdapter().PutData(first, "");
    // Another program reading the file holds its shared lock: the inserts
    // succeed, the commit cannot.
    MainDatabase().SetBusyTimeout(50);
    auto reader = TSQLiteDatabase::Open(file);
    reader->Execute("BEGIN");
    reader->Query("select count(*) from measurements");
    TMeasureDataP second = SampleMatrix();
    second(0, 0).Records[0].id = 77;  // an id the record had before
    EXPECT_THROW(TDBDataAdapter().PutData(second, ""), ESQLiteException);
    EXPECT_FALSE(MainDatabase().InTransaction());
    EXPECT_EQ(second(0, 0).Records[0].id, 77);
    EXPECT_EQ(second(1, 4).Records[2].id, 0);
    reader->Execute("ROLLBACK");

    TDBDataAdapter().PutData(second, "");  // stores again, with ids not handed out twice
    EXPECT_EQ(second(0, 0).Records[0].id, 7);
    EXPECT_EQ(MainDatabase().ScalarInt("select count(*) from measurements"), 12);
}

// Not on Windows: Wine run as root on the build machine writes a read-only file all the same.
#ifndef _WIN32
TEST(ReadOnlyDatabase, WritesFailWithTheLayersReportAndDataStays) {
    // Root ignores file modes, so the check runs in a child without privileges.
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string file = dir.File("ro.db");
    {
        auto db = OpenDatabase(file);
        TMeasureDataP data = SampleMatrix();
        TDBDataAdapter().PutData(data, file);
    }
    std::filesystem::permissions(PathFromUtf8(file), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read |
                                                         std::filesystem::perms::others_read);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
            TMeasureDataP data = SampleMatrix();
            try {
                TDBDataAdapter().PutData(data, file);
                std::_Exit(4);
            } catch (const ESQLiteException& e) {
                if (e.Message().find("Error [8]: Attempt to write a readonly database") == std::string::npos)
                    std::_Exit(5);
            }
            TMeasureDataP loaded;
            TDBDataAdapter().GetData(file, loaded);
            std::_Exit(loaded.TotalRecords() == 6 ? 0 : 6);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

// ---------------------------------------------------------------- data files

TEST(MeasurementFile, SaveAndOpenRoundTrip) {
    TempDir dir;
    const std::string file = dir.File("set.zorvex");
    TMeasureDataP data = SampleMatrix();
    TFileDataAdapter().PutData(data, file);
    EXPECT_EQ(data(1, 4).Records[2].id, 6);  // ids of the file

    TMeasureDataP loaded;
    TFileDataAdapter().GetData(file, loaded);
    EXPECT_EQ(loaded(0, 1).Records, data(0, 1).Records);
    EXPECT_EQ(loaded(0, 0).Records[0].workplace, 0);
    EXPECT_EQ(loaded(0, 0).Records[1].workplace, 11);
    EXPECT_EQ(loaded(0, 0).Records[1].height, 3);
    EXPECT_EQ(RawRows(file, "select count(*) from maxlevels")[0][0], "7");

    // Saving over it leaves only the new records.
    TMeasureDataP small;
    small(0, 2).Records.push_back(Record(2, EncodeDate(2013, 1, 1), -1, 3));
    TFileDataAdapter().PutData(small, file);
    TMeasureDataP reloaded;
    TFileDataAdapter().GetData(file, reloaded);
    EXPECT_EQ(reloaded.TotalRecords(), 1u);
    EXPECT_EQ(reloaded(0, 2).Records[0].id, 1);
}

TEST(MeasurementFile, EmptyMatrixAndEmptyFile) {
    TempDir dir;
    TMeasureDataP empty;
    TFileDataAdapter().PutData(empty, dir.File("empty.zorvex"));
    EXPECT_EQ(RawRows(dir.File("empty.zorvex"), "select count(*) from sqlite_master where type='table'")[0][0], "12");
    TMeasureDataP loaded;
    TFileDataAdapter().GetData(dir.File("empty.zorvex"), loaded);
    EXPECT_TRUE(loaded.IsEmpty());

    zorvex::test::WriteFileBytes(dir.path() / "zero.zorvex", "");
    TFileDataAdapter().GetData(dir.File("zero.zorvex"), loaded);
    EXPECT_TRUE(loaded.IsEmpty());
    EXPECT_EQ(RawRows(dir.File("zero.zorvex"), "select count(*) from maxlevels")[0][0], "7");
}

TEST(MeasurementFile, BadFilesGiveTheLayersReport) {
    TempDir dir;
    const std::string text = dir.File("notes.zorvex");
    zorvex::test::WriteFileBytes(PathFromUtf8(text), std::string(4096, 'x'));
    TMeasureDataP loaded;
    try {
        TFileDataAdapter().GetData(text, loaded);
        ADD_FAILURE();
    } catch (const ESQLiteException& e) {
        EXPECT_NE(e.Message().find("Error [26]: File opened that is not a database file"), std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(zorvex::test::ReadFileBytes(PathFromUtf8(text)), std::string(4096, 'x'));  // untouched

    const std::string other = dir.File("other.db");
    RawExec(other, "create table something (a)");
    try {
        TFileDataAdapter().GetData(other, loaded);
        ADD_FAILURE();
    } catch (const ESQLiteException& e) {
        EXPECT_NE(e.Message().find("Error [1]"), std::string::npos);
        EXPECT_NE(e.Message().find("no such table: measurements"), std::string::npos);
    }
}

TEST_F(MeasurementStore, SavingOverTheMainDatabaseIsRefused) {
    TMeasureDataP stored = SampleMatrix();
    TDBDataAdapter().PutData(stored, "");
    std::filesystem::current_path(dir.path());
    for (const std::string& name : {file, std::string("data.db"), std::string("./sub/../data.db")}) {
        std::filesystem::create_directories(dir.path() / "sub");
        TMeasureDataP other = SampleMatrix();
        EXPECT_THROW(TFileDataAdapter().PutData(other, name), Exception) << name;
    }
    EXPECT_EQ(MainDatabase().ScalarInt("select count(*) from measurements"), 6);
    EXPECT_EQ(MainDatabase().ScalarInt("select count(*) from maxlevels"), 7);
}

TEST(MeasurementFile, ADirectoryOrAnEmptyNameIsRefusedAndLeftAlone) {
    TempDir dir;
    const auto blocked = dir.path() / "blocked.zorvex";
    std::filesystem::create_directories(blocked / "inside");
    std::filesystem::create_directories(dir.path() / "empty");
    for (const std::string& name : {Utf8FromPath(blocked), Utf8FromPath(dir.path() / "empty"),
                                    Utf8FromPath(dir.path() / "empty/"), dir.File("sub/"), std::string()}) {
        TMeasureDataP data = SampleMatrix();
        EXPECT_THROW(TFileDataAdapter().PutData(data, name), Exception) << name;
        EXPECT_EQ(data(0, 0).Records[0].id, 0);
        TMeasureDataP loaded;
        EXPECT_THROW(TFileDataAdapter().GetData(name, loaded), Exception) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "empty"));  // a removal would have taken it
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "sub"));
}

TEST(MeasurementFile, AFailedSaveLeavesTheOldFileWholeAndNoTemporaryFile) {
    TempDir dir;
    const std::string name = dir.File("backup.zorvex");
    TMeasureDataP old = SampleMatrix();
    TFileDataAdapter().PutData(old, name);
    const std::string before = test::ReadFileBytes(PathFromUtf8(name));

    // A disk that fills up while the new file is written.
    TMeasureDataP bad = SampleMatrix();
#ifndef _WIN32  // a full disk is made with RLIMIT_FSIZE
    {
        const test::FileSizeLimit full(1024);
        EXPECT_THROW(TFileDataAdapter().PutData(bad, name), Exception);
    }
#endif
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(name)), before);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);

    TMeasureDataP again = SampleMatrix();
    again(0, 0).Records.pop_back();
    TFileDataAdapter().PutData(again, name);
    TMeasureDataP loaded;
    TFileDataAdapter().GetData(name, loaded);
    EXPECT_EQ(loaded.TotalRecords(), 5u);
}

TEST_F(MeasurementStore, AStoreWhoseIdsWouldPassThirtyTwoBitsIsRefusedBeforeAnyRow) {
    struct Case {
        std::int64_t highestHandedOut;
        bool stores;
    };
    // Six records each time: the last of them takes the highest id there is, or one past it.
    for (const Case c : {Case{2147483647LL - 6, true}, Case{2147483647LL - 5, false}, Case{2147483647LL, false}}) {
        RawExec(file, "delete from measurements; delete from sqlite_sequence where name = 'measurements'; "
                      "insert into sqlite_sequence (name, seq) values ('measurements', " +
                          std::to_string(c.highestHandedOut) + ")");
        TMeasureDataP data = SampleMatrix();
        ASSERT_EQ(data.TotalRecords(), 6u);
        if (c.stores) {
            TDBDataAdapter().PutData(data, "");
            EXPECT_EQ(data(1, 4).Records[2].id, 2147483647);
        } else {
            EXPECT_THROW(TDBDataAdapter().PutData(data, ""), Exception) << c.highestHandedOut;
            EXPECT_EQ(RawRows(file, "select count(*) from measurements")[0][0], "0");
            EXPECT_EQ(data(0, 0).Records[0].id, 0);
        }
        TMeasureDataP loaded;
        TDBDataAdapter().GetData("", loaded);  // the table stays readable
    }
}

// A number is read as the text of at most 15 digits it is shown as, whether or
// not the rows around it are all plain ones.
TEST_F(MeasurementStore, NumbersReadAsTheirFifteenDigitTextWhateverTheOtherRows) {
    struct Case {
        const char* stored;  // SQL expression put into mvalue
        double expected;
    };
    const Case cases[] = {{"0.1 + 0.2", 0.3}, {"2.0 / 3", 0.666666666666667},
                          {"-1", -1},         {"0", 0},
                          {"7", 7},           {"123456789012345678", 1.23456789012346e17},
                          {"'2.5'", 2.5}};
    for (const bool withUnusualRow : {false, true}) {
        SCOPED_TRACE(withUnusualRow ? "with a row holding text in a number column" : "plain rows only");
        RawExec(file, "delete from measurements");
        int second = 0;
        for (const Case& c : cases)
            RawExec(file, std::string("insert into measurements (method, kind, number, workplace, height, "
                                      "rejection, time, mvalue, evalue, mvalue2, evalue2, band) values "
                                      "(0, 1, 1, 1, 1, 0, '2012-01-01 00:00:0") +
                              std::to_string(second++) + "', " + c.stored + ", -1, -1, -1, 0)");
        if (withUnusualRow)
            RawExec(file,
                    "insert into measurements (method, kind, workplace, time, mvalue, evalue, mvalue2, evalue2, "
                    "band) values (0, 1, 'x', '2012-01-01 00:00:09', 1, -1, -1, -1, 0)");
        TMeasureDataP loaded;
        TDBDataAdapter().GetData("", loaded);
        const auto& records = loaded(0, 1).Records;
        ASSERT_EQ(records.size(), std::size(cases) + (withUnusualRow ? 1 : 0));
        for (std::size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(records[i].mvalue, cases[i].expected) << cases[i].stored;
    }
}
