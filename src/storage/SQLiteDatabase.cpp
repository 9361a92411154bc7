#include "storage/SQLiteDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/CodePage1251.h"
#include "base/Paths.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "storage/AuditLog.h"
#include "storage/TimeIndex.h"

namespace zorvex {
namespace {

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// Text handed over by SQLite, up to its first zero byte, as UTF-8.
std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (!text) return {};
    return Cp1251ToUtf8(std::string_view(text, std::strlen(text)));
}

}  // namespace

std::string SQLiteErrorName(int code) {
    static const char* const kNames[] = {
        "Successful result",
        "SQL error or missing database",
        "An internal logic error in SQLite",
        "Access permission denied",
        "Callback routine requested an abort",
        "The database file is locked",
        "A table in the database is locked",
        "A malloc() failed",
        "Attempt to write a readonly database",
        "Operation terminated by sqlite3_interrupt()",
        "Some kind of disk I/O error occurred",
        "The database disk image is malformed",
        "(Internal Only) Table or record not found",
        "Insertion failed because database is full",
        "Unable to open the database file",
        "Database lock protocol error",
        "Database is empty",
        "The database schema changed",
        "Too much data for one row of a table",
        "Abort due to contraint violation",
        "Data type mismatch",
        "Library used incorrectly",
        "Uses OS features not supported on host",
        "Authorization denied",
        "Auxiliary database format error",
        "2nd parameter to sqlite3_bind out of range",
        "File opened that is not a database file",
    };
    if (code >= 0 && code < static_cast<int>(std::size(kNames))) return kNames[code];
    if (code == SQLITE_ROW) return "sqlite3_step() has another row ready";
    if (code == SQLITE_DONE) return "sqlite3_step() has finished executing";
    return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
}

// ---------------------------------------------------------------- statements

// A prepared statement, finalised whatever way its scope is left.
class TSQLiteDatabase::Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    Statement(Statement&& other) noexcept : stmt_(std::exchange(other.stmt_, nullptr)) {}
    Statement& operator=(Statement&&) = delete;
    ~Statement() { sqlite3_finalize(stmt_); }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_;
};

TSQLiteDatabase::Statement TSQLiteDatabase::Prepare(const std::string& sql, const std::string& encodedSql,
                                                    const TSQLiteParams& params) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, encodedSql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        ReportError("Error executing SQL", sql);
    }
    if (!raw) ReportError("Could not prepare SQL statement", sql);
    Statement stmt(raw);
    Bind(raw, params);
    return stmt;
}

void TSQLiteDatabase::Bind(sqlite3_stmt* stmt, const TSQLiteParams& params) {
    for (std::size_t k = 0; k < params.size(); ++k) {
        const int index = static_cast<int>(k) + 1;
        const TSQLiteParam& p = params[k];
        if (const auto* i = std::get_if<std::int32_t>(&p)) {
            if (sqlite3_bind_int(stmt, index, *i) != SQLITE_OK) ReportError("Could not bind integer", "BindData");
        } else if (const auto* d = std::get_if<double>(&p)) {
            if (sqlite3_bind_double(stmt, index, *d) != SQLITE_OK) ReportError("Could not bind extended", "BindData");
        } else {
            const std::string bytes = Utf8ToCp1251(std::get<std::string>(p));
            // The byte count takes the terminating zero along into the database.
            if (sqlite3_bind_text(stmt, index, bytes.c_str(), static_cast<int>(bytes.size() + 1), SQLITE_TRANSIENT) !=
                SQLITE_OK)
                ReportError("Could not bind text", "BindData");
        }
    }
}

void TSQLiteDatabase::ReportError(const std::string& message, const std::string& sql) const {
    const int code = sqlite3_errcode(db_);
    const char* text = sqlite3_errmsg(db_);
    if (code != 0 && text) {
        throw ESQLiteException(message + ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorName(code) +
                                   ".\r\"" + sql + "\": " + Cp1251ToUtf8(text),
                               sqlite3_extended_errcode(db_));
    }
    throw ESQLiteException(message);
}

// ---------------------------------------------------------------- connection

std::unique_ptr<TSQLiteDatabase> TSQLiteDatabase::Open(const std::string& fileName) {
    sqlite3* db = nullptr;
    if (sqlite3_open(fileName.c_str(), &db) != SQLITE_OK) {
        std::string reason = db ? Cp1251ToUtf8(sqlite3_errmsg(db)) : "unknown error";
        sqlite3_close(db);
        throw ESQLiteException("Failed to open database \"" + fileName + "\" : " + reason);
    }
    std::unique_ptr<TSQLiteDatabase> connection(new TSQLiteDatabase(db));
    connection->SetBusyTimeout(kDefaultBusyTimeoutMs);
    return connection;
}

void TSQLiteDatabase::SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

TSQLiteDatabase::~TSQLiteDatabase() {
    for (const auto& cached : executeCache_) sqlite3_finalize(cached.stmt);
    if (inTransaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
}

sqlite3_stmt* TSQLiteDatabase::CachedExecuteStatement(const std::string& sql) {
    for (const auto& cached : executeCache_)
        if (cached.sql == sql) return cached.stmt;
    const std::string encoded = Utf8ToCp1251(sql);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, encoded.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        ReportError("Error executing SQL", sql);
    }
    if (!raw) ReportError("Could not prepare SQL statement", sql);
    constexpr std::size_t kCacheSize = 8;
    if (executeCache_.size() == kCacheSize) {
        sqlite3_finalize(executeCache_.front().stmt);
        executeCache_.erase(executeCache_.begin());
    }
    executeCache_.push_back({sql, raw});
    return raw;
}

void TSQLiteDatabase::Execute(const std::string& sql, const TSQLiteParams& params) {
    sqlite3_stmt* stmt = CachedExecuteStatement(sql);
    // Leaves the statement reset and unbound on every path.
    struct ResetGuard {
        sqlite3_stmt* stmt;
        ~ResetGuard() {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    } guard{stmt};
    Bind(stmt, params);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) {
        sqlite3_reset(stmt);
        ReportError("Error executing SQL statement", sql);
    }
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::Query(const std::string& sql, const TSQLiteParams& params,
                                                     TSQLiteTable::DeclaredTypes types) {
    const Statement stmt = Prepare(sql, Utf8ToCp1251(sql), params);
    sqlite3_stmt* s = stmt.get();
    auto table = std::make_unique<TSQLiteTable>();
    using Kind = TSQLiteTable::Kind;
    for (;;) {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE) break;
        if (rc == SQLITE_BUSY) throw ESQLiteException("Could not prepare SQL statement");
        if (rc != SQLITE_ROW) {
            sqlite3_reset(s);
            ReportError("Could not retrieve data", sql);
        }
        const int columns = sqlite3_column_count(s);
        if (table->rowCount_ == 0) {
            for (int c = 0; c < columns; ++c) {
                table->names_.push_back(UpperAscii(sqlite3_column_name(s, c)));
                const char* declared = sqlite3_column_decltype(s, c);
                Kind kind = Kind::Text;
                if (declared && types == TSQLiteTable::DeclaredTypes::LowerCase) {
                    kind = Kind::Text;
                } else if (declared) {
                    const std::string_view t(declared);
                    if (t == "INTEGER" || t == "BOOLEAN") kind = Kind::Integer;
                    else if (t == "NUMERIC" || t == "FLOAT" || t == "DOUBLE" || t == "REAL") kind = Kind::Floating;
                    else if (t == "BLOB") kind = Kind::Blob;
                } else {
                    switch (sqlite3_column_type(s, c)) {
                        case SQLITE_INTEGER: kind = Kind::Integer; break;
                        case SQLITE_FLOAT: kind = Kind::Floating; break;
                        case SQLITE_BLOB: kind = Kind::Blob; break;
                        case SQLITE_NULL: kind = Kind::Null; break;
                        default: kind = Kind::Text;
                    }
                }
                table->kinds_.push_back(kind);
            }
        }
        for (int c = 0; c < columns; ++c) {
            TSQLiteTable::Cell cell;
            const Kind kind = table->kinds_[c];
            if (sqlite3_column_type(s, c) != SQLITE_NULL && kind != Kind::Null) {
                switch (kind) {
                    case Kind::Integer:
                        cell.kind = kind;
                        cell.integer = sqlite3_column_int64(s, c);
                        break;
                    case Kind::Floating:
                        cell.kind = kind;
                        cell.floating = sqlite3_column_double(s, c);
                        break;
                    case Kind::Blob: {
                        const void* data = sqlite3_column_blob(s, c);
                        const int size = sqlite3_column_bytes(s, c);
                        if (data && size > 0) {
                            cell.kind = kind;
                            cell.bytes = {static_cast<std::uint32_t>(table->arena_.size()),
                                          static_cast<std::uint32_t>(size)};
                            table->arena_.append(static_cast<const char*>(data), static_cast<std::size_t>(size));
                        }
                        break;
                    }
                    default: {
                        if (sqlite3_column_type(s, c) == SQLITE_INTEGER) {
                            // The decimal text SQLite would give, without its conversion.
                            char digits[24];
                            const auto end =
                                std::to_chars(digits, digits + sizeof digits, sqlite3_column_int64(s, c)).ptr;
                            cell.kind = Kind::Text;
                            cell.bytes = {static_cast<std::uint32_t>(table->arena_.size()),
                                          static_cast<std::uint32_t>(end - digits)};
                            table->arena_.append(digits, end);
                            break;
                        }
                        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                        if (text) {
                            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, c));
                            const void* zero = std::memchr(text, 0, size);
                            const std::size_t length = zero ? static_cast<const char*>(zero) - text : size;
                            cell.kind = Kind::Text;
                            cell.bytes = {static_cast<std::uint32_t>(table->arena_.size()),
                                          static_cast<std::uint32_t>(length)};
                            table->arena_.append(text, length);
                        }
                    }
                }
            }
            table->cells_.push_back(cell);
        }
        ++table->rowCount_;
    }
    return table;
}

// A forward-only cursor over a live statement; used by the scalar queries.
class TSQLiteUniTable {
public:
    TSQLiteUniTable(TSQLiteDatabase& db, const std::string& sql, const TSQLiteParams& params)
        : db_(db), sql_(sql), stmt_(db.Prepare(sql, Utf8ToCp1251(sql), params)) {
        const int columns = sqlite3_column_count(stmt_.get());
        for (int c = 0; c < columns; ++c) names_.push_back(UpperAscii(sqlite3_column_name(stmt_.get(), c)));
        Next();
    }

    bool AtEnd() const { return atEnd_; }
    sqlite3_stmt* get() const { return stmt_.get(); }

    void Next() {
        const int rc = sqlite3_step(stmt_.get());
        if (rc == SQLITE_ROW) {
            atEnd_ = false;
            ++rowsRead_;
        } else if (rc == SQLITE_DONE) {
            atEnd_ = true;
        } else {
            sqlite3_reset(stmt_.get());
            db_.ReportError("Could not retrieve data", sql_);
        }
    }

private:
    TSQLiteDatabase& db_;
    std::string sql_;
    TSQLiteDatabase::Statement stmt_;
    std::vector<std::string> names_;
    bool atEnd_ = true;
    int rowsRead_ = 0;
};

std::int64_t TSQLiteDatabase::ScalarInt(const std::string& sql, const TSQLiteParams& params) {
    const TSQLiteUniTable cursor(*this, sql, params);
    return cursor.AtEnd() ? 0 : sqlite3_column_int64(cursor.get(), 0);
}

std::string TSQLiteDatabase::ScalarText(const std::string& sql, const TSQLiteParams& params) {
    const TSQLiteUniTable cursor(*this, sql, params);
    return cursor.AtEnd() ? std::string() : ColumnText(cursor.get(), 0);
}

void TSQLiteDatabase::ColumnTexts(const std::string& sql, std::vector<std::string>& list,
                                  const TSQLiteParams& params) {
    list.clear();
    TSQLiteUniTable cursor(*this, sql, params);
    while (!cursor.AtEnd()) {
        list.push_back(ColumnText(cursor.get(), 0));
        cursor.Next();
    }
}

void TSQLiteDatabase::SyncTransactionFlag() { inTransaction_ = sqlite3_get_autocommit(db_) == 0; }

void TSQLiteDatabase::StartTransaction() {
    if (inTransaction_) throw ESQLiteException("Transaction already open");
    Execute("BEGIN IMMEDIATE TRANSACTION");
    inTransaction_ = true;
}

void TSQLiteDatabase::CommitTransaction() {
    try {
        Execute("COMMIT");
    } catch (...) {
        SyncTransactionFlag();  // a failed COMMIT may or may not have ended it
        throw;
    }
    inTransaction_ = false;
}

void TSQLiteDatabase::RollbackTransaction() {
    try {
        Execute("ROLLBACK");
    } catch (...) {
        SyncTransactionFlag();
        throw;
    }
    inTransaction_ = false;
}

void TSQLiteDatabase::RunInTransaction(const std::function<void()>& work) {
    StartTransaction();
    try {
        work();
        CommitTransaction();
    } catch (...) {
        if (inTransaction_) {
            try {
                RollbackTransaction();
            } catch (...) {
            }
        }
        throw;
    }
}

int TSQLiteDatabase::MaxParameters() const { return sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1); }

std::int64_t TSQLiteDatabase::LastRowId() const { return sqlite3_last_insert_rowid(db_); }

int TSQLiteDatabase::Changes() const { return sqlite3_changes(db_); }

std::string TSQLiteDatabase::FileName() const {
    const char* name = sqlite3_db_filename(db_, "main");
    return name ? name : "";
}

// ---------------------------------------------------------------- table

bool TSQLiteTable::MoveNext() {
    if (AtEnd()) return false;
    ++cursor_;
    return true;
}

const TSQLiteTable::Cell& TSQLiteTable::CurrentCell(int column) const {
    if (AtEnd()) throw ESQLiteException("Table is at End of File");
    if (column < 0 || column >= ColumnCount())
        throw ESQLiteException(Format("Нет поля с номером %d", {column}));
    return cells_[static_cast<std::size_t>(cursor_) * names_.size() + static_cast<std::size_t>(column)];
}

std::string TSQLiteTable::TextAt(int column) const {
    const Cell& cell = CurrentCell(column);
    switch (cell.kind) {
        case Kind::Null: return {};
        case Kind::Integer: return IntToStr(cell.integer);
        case Kind::Floating: return FloatToStr(cell.floating);
        default: {
            const std::string_view bytes = std::string_view(arena_).substr(cell.bytes.offset, cell.bytes.length);
            // Most cells are plain ASCII, the same in either encoding.
            if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
                return std::string(bytes);
            return Cp1251ToUtf8(bytes);
        }
    }
}

std::optional<double> TSQLiteTable::FloatAt(int column) const {
    const Cell& cell = CurrentCell(column);
    switch (cell.kind) {
        case Kind::Null: return std::nullopt;
        case Kind::Integer: return static_cast<double>(cell.integer);
        case Kind::Floating: return cell.floating;
        default: return TryStrToFloat(std::string_view(arena_).substr(cell.bytes.offset, cell.bytes.length));
    }
}

int TSQLiteTable::ColumnIndex(std::string_view name) const {
    if (names_.empty()) throw ESQLiteException("Field " + std::string(name) + " Not found. Empty dataset");
    const std::string upper = UpperAscii(name);
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == upper) return static_cast<int>(i);
    throw ESQLiteException("Field not found in dataset: " + std::string(name));
}

std::string TSQLiteTable::TextByName(std::string_view name) const {
    // The name is looked up first, so an empty result reports the missing field.
    const int column = ColumnIndex(name);
    return TextAt(column);
}

// ---------------------------------------------------------------- main database

namespace {
std::unique_ptr<TSQLiteDatabase>& MainSlot() {
    static std::unique_ptr<TSQLiteDatabase> db;
    return db;
}
}  // namespace

TSQLiteDatabase& MainDatabase() {
    if (!MainSlot()) throw ESQLiteException("Основная база данных не открыта");
    return *MainSlot();
}

bool HasMainDatabase() { return MainSlot() != nullptr; }

void SetMainDatabase(std::unique_ptr<TSQLiteDatabase> db) {
    // Files of former versions and of other installations lack the index the
    // history reads through.
    if (db) EnsureTimeIndex(*db);
    // And the audit log with the fingerprints, which every change writes to.
    if (db) EnsureAuditTables(*db);
    MainSlot() = std::move(db);
}

bool IsMainDatabaseFile(const std::string& path) {
    if (!HasMainDatabase()) return false;
    const std::string mainFile = MainDatabase().FileName();
    std::error_code ec;
    return !mainFile.empty() && std::filesystem::equivalent(PathFromUtf8(path), PathFromUtf8(mainFile), ec) && !ec;
}

}  // namespace zorvex
