#include "archive/AuditPush.h"

#include <sqlite3.h>

#include <array>
#include <cmath>
#include <cstring>

#include "archive/LocalStatement.h"
#include "archive/PgConnection.h"
#include "base/CodePage1251.h"
#include "base/Hex.h"
#include "storage/AuditLog.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex::archive {
namespace {

std::string JsonText(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A row of any shape as a JSON object, read straight from the statement.
std::string RowJson(sqlite3_stmt* s, int firstColumn) {
    std::string json = "{";
    for (int c = firstColumn; c < sqlite3_column_count(s); ++c) {
        if (c > firstColumn) json += ",";
        json += JsonText(sqlite3_column_name(s, c)) + ":";
        switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER: json += std::to_string(sqlite3_column_int64(s, c)); break;
            case SQLITE_FLOAT: {
                const double v = sqlite3_column_double(s, c);
                json += std::isfinite(v) ? *TPgParam::Float(v).value : "null";
                break;
            }
            case SQLITE_TEXT: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, c));
                const void* zero = std::memchr(text, 0, size);
                const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : size;
                json += JsonText(Cp1251ToUtf8(std::string_view(text, length)));
                break;
            }
            case SQLITE_BLOB: {
                json += JsonText(HexOfBytes(sqlite3_column_blob(s, c),
                                            static_cast<std::size_t>(sqlite3_column_bytes(s, c))));
                break;
            }
            default: json += "null";
        }
    }
    return json + "}";
}

}  // namespace

bool HasAuditLog(TSQLiteDatabase& db) { return HasSchemaObject(db, "table", kAuditTable); }

std::vector<std::int64_t> PushAuditLog(TPgConnection& conn, TSQLiteDatabase& db, const std::string& workstation,
                                       const std::string& archiveId, std::int64_t& sent) {
    std::vector<std::int64_t> entries;
    sqlite3_stmt* raw = nullptr;
    const std::string sql = std::string("select rowid, * from ") + kAuditTable +
                            " where rowid not in (select entry from archivesentaudit where archive = ?1) order by rowid";
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw ESQLiteException(sqlite3_errmsg(db.Handle()), sqlite3_extended_errcode(db.Handle()));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    std::string archive = Utf8ToCp1251(archiveId);
    archive.push_back('\0');
    sqlite3_bind_text(raw, 1, archive.data(), static_cast<int>(archive.size()), SQLITE_TRANSIENT);
    std::string copy;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const std::int64_t id = sqlite3_column_int64(raw, 0);
        copy += EscapeCopy(workstation) + '\t' + std::to_string(id) + '\t' + EscapeCopy(RowJson(raw, 1)) + '\n';
        entries.push_back(id);
    }
    if (rc != SQLITE_DONE) throw ESQLiteException(sqlite3_errmsg(db.Handle()), sqlite3_extended_errcode(db.Handle()));
    if (copy.empty()) return entries;
    conn.Exec("create temporary table push_audit (workstation text, local_id bigint, fields jsonb) on commit drop");
    conn.CopyIn("copy push_audit from stdin", copy);
    const TPgResult added = conn.Exec(
        "with added as (insert into audit_entries (workstation, local_id, fields) select workstation, local_id, fields "
        "from push_audit order by local_id on conflict do nothing returning 1) select count(*) from added");
    sent += added.Int(0, 0);
    return entries;
}

void NoteAuditSent(TSQLiteDatabase& db, const std::string& archiveId, const std::vector<std::int64_t>& entries) {
    TLocalStatement note(db, "insert or ignore into archivesentaudit (archive, entry) values (?1, ?2)");
    for (const std::int64_t id : entries) {
        note.Reset();
        note.BindText(1, archiveId);
        note.BindInt(2, id);
        note.Step();
    }
}

}  // namespace zorvex::archive
