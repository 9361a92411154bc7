#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <sqlite3.h>

#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawRows;
using zorvex::test::TempDir;

namespace {

class SQLiteLayer : public ::testing::Test {
protected:
    void SetUp() override {
        db = TSQLiteDatabase::Open(dir.File("layer.db"));
        db->Execute("create table t (id integer primary key autoincrement, name text, n integer, x float)");
    }
    std::string ExpectError(const std::function<void()>& action) {
        try {
            action();
        } catch (const ESQLiteException& e) {
            return e.Message();
        }
        ADD_FAILURE() << "no ESQLiteException";
        return {};
    }

    TempDir dir;
    std::unique_ptr<TSQLiteDatabase> db;
};

}  // namespace

TEST_F(SQLiteLayer, EmptyResult) {
    const auto table = db->Query("select * from t");
    EXPECT_EQ(table->RowCount(), 0);
    EXPECT_TRUE(table->AtEnd());
    EXPECT_FALSE(table->MoveNext());
    EXPECT_EQ(ExpectError([&] { table->TextByName("name"); }), "Field name Not found. Empty dataset");
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 0);
    EXPECT_EQ(db->ScalarText("select name from t", {}), "");
    std::vector<std::string> list{"stale"};
    db->ColumnTexts("select name from t", list);
    EXPECT_TRUE(list.empty());
}

TEST_F(SQLiteLayer, TextCarriesItsZeroByte) {
    db->Execute("insert into t (name, n, x) values(?, ?, ?)", {std::string("abc"), 7, 2.5});
    db->Execute("insert into t (name) values('abc')");
    const auto raw = RawRows(dir.File("layer.db"), "select name, hex(name) from t order by id");
    EXPECT_EQ(raw[0][1], "61626300");
    EXPECT_EQ(raw[1][1], "616263");

    EXPECT_EQ(db->ScalarInt("select count(*) from t where name=?", {std::string("abc")}), 1);
    // LIKE stops at the zero byte, so it finds the bound and the literal text alike.
    EXPECT_EQ(db->ScalarInt("select count(*) from t where name LIKE ?", {std::string("abc")}), 2);
    EXPECT_EQ(db->ScalarInt("select id from t where name='abc'"), 2);  // the literal misses the bound text
    EXPECT_EQ(db->ScalarText("select name from t order by name desc limit 1", {}), "abc");
    EXPECT_EQ(db->ScalarInt("select id from t order by name desc limit 1"), 1);  // sorts after 'abc'
    const auto table = db->Query("select * from t order by id");
    EXPECT_EQ(table->TextByName("NAME"), "abc");
    EXPECT_EQ(table->TextAt(0), "1");
    EXPECT_EQ(table->TextByName("x"), "2.5");
    EXPECT_EQ(ExpectError([&] { table->TextByName("nope"); }), "Field not found in dataset: nope");
    ASSERT_TRUE(table->MoveNext());
    EXPECT_EQ(table->TextByName("n"), "");  // NULL reads as empty text
    ASSERT_TRUE(table->MoveNext());
    EXPECT_EQ(ExpectError([&] { table->TextAt(0); }), "Table is at End of File");
}

TEST_F(SQLiteLayer, CyrillicIsStoredAsCodePageBytes) {
    db->Execute("insert into t (name) values(?)", {std::string("Иванов")});
    db->Execute("insert into t (name) values('Пётр')");
    const auto raw = RawRows(dir.File("layer.db"), "select hex(name) from t order by id");
    EXPECT_EQ(raw[0][0], "C8E2E0EDEEE200");
    EXPECT_EQ(raw[1][0], "CFB8F2F0");
    std::vector<std::string> names;
    db->ColumnTexts("select name from t order by id", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Иванов", "Пётр"}));
    // A character the code page lacks is refused and nothing is written.
    EXPECT_THROW(db->Execute("insert into t (name) values(?)", {std::string("日本")}), Exception);
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 2);
}

TEST_F(SQLiteLayer, ColumnKindsFollowTheDeclaredType) {
    db->Execute("create table k (a INTEGER, b REAL, c float, d BLOB, e Integer)");
    db->Execute("insert into k values(?, ?, ?, x'41420043', ?)", {5, 250.0, 250.0, 3});
    const auto table = db->Query("select a, b, c, d, e, count(*) as cnt, 0.5 as half from k");
    EXPECT_EQ(table->TextByName("a"), "5");
    EXPECT_EQ(table->TextByName("b"), "250");    // floating kind: general format
    EXPECT_EQ(table->TextByName("c"), "250.0");  // lower-case type reads as text, SQLite's form
    EXPECT_EQ(table->TextByName("d"), std::string("AB\0C", 4));
    EXPECT_EQ(table->TextByName("e"), "3");      // "Integer" is not "INTEGER": text kind, same digits
    EXPECT_EQ(table->TextByName("cnt"), "1");
    EXPECT_EQ(table->TextByName("half"), "0.5");
}

TEST_F(SQLiteLayer, LowerCaseDeclaredTypesReadAsTextWhateverNameSQLiteReports) {
    // SQLite reports "integer" and "INTEGER" alike as "INTEGER"; read as the
    // program's lower-case schema means, a text in an integer column stays
    // that text instead of turning into 0.
    db->Execute("insert into t (name, n, x) values('abc', 'abc', 2.5)");
    db->Execute("insert into t (name, n, x) values('d', 7, 250)");
    const auto asReported = db->Query("select n, x from t order by id");
    EXPECT_EQ(asReported->TextAt(0), "0");
    const auto lower = db->Query("select n, x, count(*) over () as rows from t order by id", {},
                                 TSQLiteTable::DeclaredTypes::LowerCase);
    EXPECT_EQ(lower->TextAt(0), "abc");
    EXPECT_EQ(lower->TextAt(1), "2.5");
    EXPECT_EQ(lower->TextAt(2), "2");  // an expression still reads by its value's type
    ASSERT_TRUE(lower->MoveNext());
    EXPECT_EQ(lower->TextAt(0), "7");
    EXPECT_EQ(lower->TextAt(1), "250.0");  // SQLite's own text of a floating value
}

TEST_F(SQLiteLayer, ErrorReports) {
    EXPECT_EQ(ExpectError([&] { db->Query("select * from missing"); }),
              "Error executing SQL.\rError [1]: SQL error or missing database.\r\"select * from missing\": "
              "no such table: missing");
    EXPECT_EQ(ExpectError([&] { db->Execute("select 1"); }), "Error executing SQL statement");
    EXPECT_EQ(ExpectError([&] { db->Execute(""); }), "Could not prepare SQL statement");
    db->StartTransaction();
    EXPECT_EQ(ExpectError([&] { db->StartTransaction(); }), "Transaction already open");
    db->CommitTransaction();
    EXPECT_FALSE(db->InTransaction());
    EXPECT_EQ(SQLiteErrorName(26), "File opened that is not a database file");
    EXPECT_EQ(SQLiteErrorName(101), "sqlite3_step() has finished executing");
    EXPECT_EQ(SQLiteErrorName(999), "Unknown SQLite Error Code \"999\"");
    EXPECT_EQ(ExpectError([] { TSQLiteDatabase::Open("/nonexistent-dir/x.db"); }),
              "Failed to open database \"/nonexistent-dir/x.db\" : unable to open database file");
}

TEST_F(SQLiteLayer, CloseRollsBackAnOpenTransaction) {
    db->StartTransaction();
    db->Execute("insert into t (n) values(?)", {1});
    db.reset();
    db = TSQLiteDatabase::Open(dir.File("layer.db"));
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 0);
}

TEST_F(SQLiteLayer, ALockHeldPastTheBusyTimeoutFailsAndTheConnectionStaysUsable) {
    db->Execute("insert into t (n) values(?)", {1});
    db->SetBusyTimeout(50);
    auto other = TSQLiteDatabase::Open(dir.File("layer.db"));
    other->Execute("BEGIN EXCLUSIVE");
    EXPECT_EQ(ExpectError([&] { db->Query("select * from t"); }), "Could not prepare SQL statement");
    const std::string write = ExpectError([&] { db->Execute("insert into t (n) values(2)"); });
    EXPECT_NE(write.find("Error [5]: The database file is locked"), std::string::npos) << write;
    other->Execute("ROLLBACK");
    db->Execute("insert into t (n) values(3)");
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 2);
}

TEST_F(SQLiteLayer, AShortLockByAnotherConnectionIsWaitedFor) {
    auto other = TSQLiteDatabase::Open(dir.File("layer.db"));
    other->Execute("BEGIN EXCLUSIVE");
    other->Execute("insert into t (n) values(1)");
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        other->Execute("COMMIT");
    });
    // A fresh connection keeps the default time-out, far longer than the lock.
    const auto started = std::chrono::steady_clock::now();
    db->Execute("insert into t (n) values(2)");
    const auto waited = std::chrono::steady_clock::now() - started;
    holder.join();
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 2);
}

// Two writers at once: the second transaction waits at its start for the
// first one's commit, then sees its row. Begun without the write lock, it
// would read first and then fail at its first write, unable to wait.
TEST_F(SQLiteLayer, AWriteTransactionWaitsAtItsStartForAnotherWriter) {
    auto other = TSQLiteDatabase::Open(dir.File("layer.db"));
    other->StartTransaction();
    other->Execute("insert into t (n) values(1)");
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        other->CommitTransaction();
    });
    const auto started = std::chrono::steady_clock::now();
    try {
        db->StartTransaction();
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_GE(waited, std::chrono::milliseconds(300));
        EXPECT_EQ(db->ScalarInt("select count(*) from t"), 1);
        db->Execute("insert into t (n) values(2)");
        db->CommitTransaction();
    } catch (const ESQLiteException& e) {
        ADD_FAILURE() << e.Message();
    }
    holder.join();
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 2);

    // A writer holding on past the time-out: the start fails, no transaction stays open.
    db->SetBusyTimeout(50);
    other->StartTransaction();
    const std::string error = ExpectError([&] { db->StartTransaction(); });
    EXPECT_NE(error.find("Error [5]: The database file is locked"), std::string::npos) << error;
    EXPECT_FALSE(db->InTransaction());
    other->RollbackTransaction();
    db->RunInTransaction([&] { db->Execute("insert into t (n) values(3)"); });
    EXPECT_EQ(db->ScalarInt("select count(*) from t"), 3);
}
