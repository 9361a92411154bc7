#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <string_view>
#include <variant>
#include <vector>

#include "base/Exceptions.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zorvex {

// The one exception class of the database layer; its message carries SQLite's
// report where there is one.
class ESQLiteException : public Exception {
public:
    explicit ESQLiteException(std::string message, int resultCode = 0)
        : Exception(std::move(message)), resultCode_(resultCode) {}
    // SQLite's (extended) result code of the failure; 0 when the layer itself refused.
    int ResultCode() const noexcept { return resultCode_; }
    // The primary code (SQLITE_BUSY, SQLITE_READONLY ...), which an extended one carries in its low byte.
    int PrimaryResultCode() const noexcept { return resultCode_ & 0xff; }

private:
    int resultCode_ = 0;
};

// Positional parameters: the k-th value binds to `?` number k+1. Text is
// UTF-8 here and goes to SQLite as code-page-1251 bytes with its terminating
// zero byte, as every stored text of the program's files carries it.
using TSQLiteParam = std::variant<std::int32_t, double, std::string>;
using TSQLiteParams = std::vector<TSQLiteParam>;

// The complete result of one query, held after its statement is finalised.
class TSQLiteTable {
public:
    // How a declared column type decides the kind of its cells. SQLite 3.37
    // and later report the standard type names in capitals however a schema
    // spells them ("integer" comes back as "INTEGER"); the program's own
    // tables declare every type in lower case, which matches none of the
    // names and so reads as text. LowerCase keeps that meaning whatever name
    // SQLite reports: every declared column reads as text.
    enum class DeclaredTypes : std::uint8_t { AsReported, LowerCase };

    int RowCount() const { return rowCount_; }
    int ColumnCount() const { return static_cast<int>(names_.size()); }
    bool AtEnd() const { return cursor_ >= rowCount_; }
    bool MoveNext();

    // Current row's value as text; raise ESQLiteException at the end.
    std::string TextByName(std::string_view name) const;
    std::string TextAt(int column) const;
    // Current row's value as a number: a floating cell exactly as stored
    // (TextAt rounds to 15 digits), an integer converted, text parsed with
    // "."; nothing for an absent value or text that is no number.
    std::optional<double> FloatAt(int column) const;
    // Index of a column by name (any case), raising as TextByName does.
    int ColumnIndex(std::string_view name) const;

private:
    friend class TSQLiteDatabase;
    enum class Kind : std::uint8_t { Null, Integer, Floating, Text, Blob };
    struct Cell {
        Kind kind = Kind::Null;  // Null marks an absent value
        union {
            std::int64_t integer;
            double floating;
            struct {
                std::uint32_t offset, length;
            } bytes;
        };
        Cell() : integer(0) {}
    };

    const Cell& CurrentCell(int column) const;

    int rowCount_ = 0;
    int cursor_ = 0;
    std::vector<std::string> names_;  // upper-cased
    std::vector<Kind> kinds_;
    std::vector<Cell> cells_;  // row-major
    std::string arena_;        // raw bytes of text and blob cells
};

// One connection to an SQLite database file.
class TSQLiteDatabase {
public:
    // Opens the database of that name, creating an empty file if none exists.
    // The name is passed to SQLite as it is (the platform's encoding).
    static std::unique_ptr<TSQLiteDatabase> Open(const std::string& fileName);
    // Rolls back an open transaction and closes the connection.
    ~TSQLiteDatabase();
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

    void Execute(const std::string& sql, const TSQLiteParams& params = {});
    std::unique_ptr<TSQLiteTable> Query(const std::string& sql, const TSQLiteParams& params = {},
                                        TSQLiteTable::DeclaredTypes types = TSQLiteTable::DeclaredTypes::AsReported);
    std::int64_t ScalarInt(const std::string& sql, const TSQLiteParams& params = {});
    std::string ScalarText(const std::string& sql, const TSQLiteParams& params = {});
    void ColumnTexts(const std::string& sql, std::vector<std::string>& list, const TSQLiteParams& params = {});

    // Begins a write transaction and takes the write lock at once, so a
    // writer on another connection is waited for (the busy time-out) here;
    // a transaction that read first and then wrote could not wait and would
    // fail at once with "database is locked".
    void StartTransaction();
    void CommitTransaction();
    void RollbackTransaction();
    // Runs `work` in one transaction: committed when it returns; when it (or
    // the commit) raises, rolled back if still open and the error goes on, so
    // the connection never stays in a half-done transaction.
    void RunInTransaction(const std::function<void()>& work);
    bool InTransaction() const { return inTransaction_; }

    std::int64_t LastRowId() const;
    // Rows changed by the most recent insert, update or delete.
    int Changes() const;
    // How long a statement waits for a lock another connection holds before
    // it fails with "database is locked": the window and a script on one file
    // overlap for moments, which must not end in an error.
    static constexpr int kDefaultBusyTimeoutMs = 5000;
    void SetBusyTimeout(int milliseconds);
    sqlite3* Handle() const { return db_; }
    // The most `?` parameters one statement may carry on this connection.
    int MaxParameters() const;
    // Full path of the database file as SQLite resolved it.
    std::string FileName() const;

private:
    friend class TSQLiteUniTable;
    class Statement;
    explicit TSQLiteDatabase(sqlite3* db) : db_(db) {}
    Statement Prepare(const std::string& sql, const std::string& encodedSql, const TSQLiteParams& params);
    void Bind(sqlite3_stmt* stmt, const TSQLiteParams& params);
    [[noreturn]] void ReportError(const std::string& message, const std::string& sql) const;
    void SyncTransactionFlag();

    sqlite3* db_;
    bool inTransaction_ = false;
    // Statements of Execute kept prepared for reuse: a download stores
    // thousands of rows with the same insert. Reset after every use, so they
    // hold no lock; finalised before the connection closes.
    struct CachedStatement {
        std::string sql;
        sqlite3_stmt* stmt;
    };
    std::vector<CachedStatement> executeCache_;
    sqlite3_stmt* CachedExecuteStatement(const std::string& sql);
};

// Name of an SQLite result code as the layer's reports give it.
std::string SQLiteErrorName(int code);

// The program-wide connection to the main database, set once at start.
TSQLiteDatabase& MainDatabase();
bool HasMainDatabase();
// True when `path` names the file of the main database (by identity, not by
// spelling): writing a data file or an export there would destroy it.
bool IsMainDatabaseFile(const std::string& path);

// Takes over `db` as the main database (replacing and closing the former one);
// an empty pointer just closes it.
void SetMainDatabase(std::unique_ptr<TSQLiteDatabase> db);

}  // namespace zorvex
