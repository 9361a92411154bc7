#include "storage/AuditLog.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "base/Clock.h"
#include "base/CodePage1251.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "base/SystemIdentity.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Length of the UTF-8 sequence starting at `i` and its code point; an
// invalid byte counts as one character U+FFFD.
std::pair<std::size_t, char32_t> NextCharacter(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {1, b0};
    const std::size_t length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > s.size() || b0 > 0xF4) return {1, U'\uFFFD'};
    char32_t code = b0 & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return {1, U'\uFFFD'};
        code = code << 6 | (b & 0x3F);
    }
    return {length, code};
}

void AppendEscape(std::string& out, char32_t code) {
    const auto unit = [&out](unsigned value) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
    };
    if (code > 0xFFFF) {
        const char32_t v = code - 0x10000;
        unit(0xD800 + static_cast<unsigned>(v >> 10));
        unit(0xDC00 + static_cast<unsigned>(v & 0x3FF));
    } else {
        unit(static_cast<unsigned>(code));
    }
}

// A name the system gave, in a form the code page holds: characters it lacks
// written as <U+XXXX> rather than failing the change being recorded.
std::string StorableName(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [length, code] = NextCharacter(utf8, i);
        const std::string_view piece = utf8.substr(i, length);
        if (code != U'\uFFFD' && code >= 0x20 && FitsCp1251(piece)) {
            out += piece;
        } else {
            out += "<U+";
            char buffer[16];
            const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<unsigned long>(code), 16);
            std::string hex(buffer, r.ptr);
            for (auto& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            out += std::string(hex.size() < 4 ? 4 - hex.size() : 0, '0') + hex + ">";
        }
        i += length;
    }
    return out;
}

bool HasAuditTables(TSQLiteDatabase& db) {
    return db.ScalarInt(std::string("select count(*) from sqlite_master where type = 'table' and name in ('") +
                        kAuditTable + "', '" + kDownloadFingerprintTable + "', '" + kProtocolFingerprintTable + "')") ==
           3;
}

void CreateAuditTables(TSQLiteDatabase& db) {
    const bool hadLog = HasSchemaObject(db, "table", kAuditTable);
    for (const char* sql : kAuditSchema) db.Execute(sql);
    if (!hadLog) AppendAudit(db, {audit::kStart, kAuditTable, "", "", std::nullopt, std::nullopt});
}

// An insert whose absent values are SQL null, which the parameter list cannot carry.
void InsertEntry(TSQLiteDatabase& db, const TAuditChange& change) {
    std::string placeholders = "?, ?, ?, ?, ?, ?, ?";
    TSQLiteParams params = {StoredTime(Now()),
                            StorableName(OperatingSystemUser()),
                            StorableName(WorkstationName()),
                            change.kind,
                            change.table,
                            change.objectId,
                            change.field};
    for (const auto& value : {change.oldValue, change.newValue}) {
        placeholders += value ? ", ?" : ", null";
        if (value) params.push_back(*value);
    }
    db.Execute(
        "insert into auditlog (time, osuser, workstation, kind, objecttable, objectid, objectfield, oldvalue, "
        "newvalue) values(" +
            placeholders + ")",
        params);
}

}  // namespace

void EnsureAuditTables(TSQLiteDatabase& db) noexcept {
    try {
        if (!HasSchemaObject(db, "table", "measurements") || HasAuditTables(db)) return;
        // A file another program holds locked is not waited for at opening.
        db.SetBusyTimeout(0);
        try {
            db.RunInTransaction([&] { CreateAuditTables(db); });
        } catch (const std::exception&) {
        }
        db.SetBusyTimeout(TSQLiteDatabase::kDefaultBusyTimeoutMs);
    } catch (...) {
        // The first change creates them.
    }
}

void AppendAudit(TSQLiteDatabase& db, const TAuditChange& change) {
    if (!db.InTransaction()) throw ESQLiteException("Запись журнала изменений вне транзакции изменения");
    if (change.kind != audit::kStart && !HasAuditTables(db)) CreateAuditTables(db);
    InsertEntry(db, change);
}

void RunAudited(TSQLiteDatabase& db, const std::function<void()>& work) {
    if (db.InTransaction())
        work();
    else
        db.RunInTransaction(work);
}

std::vector<TAuditEntry> ReadAuditLog(TSQLiteDatabase& db, const std::string& condition) {
    std::vector<TAuditEntry> entries;
    if (!HasSchemaObject(db, "table", kAuditTable)) return entries;
    const auto table = db.Query(
        "select id, time, osuser, workstation, kind, objecttable, objectid, objectfield, oldvalue, newvalue, "
        "oldvalue is null, newvalue is null from auditlog" +
            (condition.empty() ? std::string() : " where " + condition) + " order by id",
        {}, TSQLiteTable::DeclaredTypes::LowerCase);
    for (; !table->AtEnd(); table->MoveNext()) {
        TAuditEntry e;
        e.id = StrToInt64(table->TextAt(0));
        e.time = table->TextAt(1);
        e.user = table->TextAt(2);
        e.workstation = table->TextAt(3);
        e.change.kind = table->TextAt(4);
        e.change.table = table->TextAt(5);
        e.change.objectId = table->TextAt(6);
        e.change.field = table->TextAt(7);
        if (table->TextAt(10) == "0") e.change.oldValue = table->TextAt(8);
        if (table->TextAt(11) == "0") e.change.newValue = table->TextAt(9);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string AuditKindCaption(std::string_view kind) {
    static const std::pair<const char*, const char*> kCaptions[] = {
        {audit::kStart, "Начало журнала изменений"},
        {audit::kWorkplace, "Рабочее место измерения"},
        {audit::kHeight, "Высота измерения"},
        {audit::kClearHistory, "Очистка истории измерений"},
        {audit::kImport, "Измерения внесены в базу"},
        {audit::kLevel, "Допустимый уровень"},
        {audit::kDirectory, "Справочник"},
        {audit::kProtocolInsert, "Протокол сохранён"},
        {audit::kProtocolUpdate, "Протокол изменён"},
        {audit::kProtocolFile, "Файл протокола записан"},
        {audit::kProtocolDelete, "Протокол удалён"},
    };
    for (const auto& [name, caption] : kCaptions)
        if (kind == name) return caption;
    return std::string(kind);
}

std::string AuditNumber(double value) {
    if (!std::isfinite(value)) return FloatToStr(value);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string JsonQuoted(std::string_view utf8) {
    std::string out = "\"";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [length, code] = NextCharacter(utf8, i);
        const std::string_view piece = utf8.substr(i, length);
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F) || code == U'\uFFFD' ||
                   (code >= 0x80 && !FitsCp1251(piece))) {
            AppendEscape(out, code);
        } else {
            out += piece;
        }
        i += length;
    }
    return out + "\"";
}

std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out = "{";
    for (const auto& [name, value] : members) out += (out.size() > 1 ? "," : "") + JsonQuoted(name) + ":" + value;
    return out + "}";
}

std::string JsonRows(const std::vector<std::vector<std::string>>& rows) {
    std::string out = "[";
    for (const auto& row : rows) {
        out += out.size() > 1 ? ",[" : "[";
        for (std::size_t c = 0; c < row.size(); ++c) out += (c ? "," : "") + JsonQuoted(row[c]);
        out += "]";
    }
    return out + "]";
}

}  // namespace zorvex
