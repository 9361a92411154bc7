#include "archive/LocalStatement.h"

#include <sqlite3.h>

#include <cstring>

#include "base/CodePage1251.h"
#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex::archive {
namespace {

std::string_view RawText(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    if (!text) return {};
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, column));
    const void* zero = std::memchr(text, 0, size);
    return std::string_view(text, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : size);
}

}  // namespace

TLocalStatement::TLocalStatement(TSQLiteDatabase& db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
        throw ESQLiteException(std::string(sqlite3_errmsg(db.Handle())) + " (" + sql + ")",
                               sqlite3_extended_errcode(db.Handle()));
}

TLocalStatement::~TLocalStatement() { sqlite3_finalize(stmt_); }

void TLocalStatement::BindInt(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
void TLocalStatement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }
void TLocalStatement::BindFloat(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
void TLocalStatement::BindText(int index, std::string_view utf8) {
    std::string bytes = Utf8ToCp1251(utf8);
    bytes.push_back('\0');
    sqlite3_bind_text(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

bool TLocalStatement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const int code = sqlite3_extended_errcode(db_.Handle());
    const std::string message = sqlite3_errmsg(db_.Handle());
    sqlite3_reset(stmt_);
    throw ESQLiteException(message, code);
}

void TLocalStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool TLocalStatement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::optional<std::int64_t> TLocalStatement::Int(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
        case SQLITE_INTEGER: return sqlite3_column_int64(stmt_, column);
        case SQLITE_TEXT: return TryStrToInt64(RawText(stmt_, column));
        default: return std::nullopt;
    }
}

std::optional<double> TLocalStatement::Float(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: return sqlite3_column_double(stmt_, column);
        case SQLITE_TEXT: return TryStrToFloat(RawText(stmt_, column));
        default: return std::nullopt;
    }
}

std::optional<std::string> TLocalStatement::Text(int column) const {
    if (IsNull(column)) return std::nullopt;
    return Cp1251ToUtf8(RawText(stmt_, column));
}

}  // namespace zorvex::archive
