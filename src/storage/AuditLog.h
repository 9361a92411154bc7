#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorvex {

class TSQLiteDatabase;

// The audit log of the main database: one row for every change the program
// makes to stored data after a download, written in the transaction of the
// change itself, so neither lands without the other. The program only ever
// appends to it; two triggers refuse updating and deleting its rows. Beside
// it the fingerprints (SHA-256) of the kept memory images and of the protocol
// files, each in a table of its own: the specified tables keep their columns,
// so other installations read the file as before. Data files never get these.
//
// The names and statements below are the stored form; other programs (the lab
// archive) read these tables by them.
inline constexpr const char* kAuditTable = "auditlog";
inline constexpr const char* kDownloadFingerprintTable = "downloadfingerprints";
inline constexpr const char* kProtocolFingerprintTable = "protocolfingerprints";

// `time` "yyyy-mm-dd hh:nn:ss" local time; `osuser` and `workstation` as the
// operating system names them; `kind` one of the kinds below; the changed
// object as `objecttable`, `objectid` (a row id, or a level's name) and
// `objectfield` (a column; empty for a whole row or table); `oldvalue` and
// `newvalue` as text, null where there is none (a new row, a deleted one).
// Compound values are JSON.
inline constexpr const char* kCreateAuditLogSql =
    "create table if not exists auditlog (id integer primary key autoincrement, time datetime, osuser text, "
    "workstation text, kind text, objecttable text, objectid text, objectfield text, oldvalue text, newvalue text)";
inline constexpr const char* kAuditNoUpdateSql =
    "create trigger if not exists auditlog_no_update before update on auditlog "
    "begin select raise(abort, 'auditlog is append-only'); end";
inline constexpr const char* kAuditNoDeleteSql =
    "create trigger if not exists auditlog_no_delete before delete on auditlog "
    "begin select raise(abort, 'auditlog is append-only'); end";
// The SHA-256 of download `download`'s memory image, 64 lower-case hex digits,
// stored with the download in its transaction.
inline constexpr const char* kCreateDownloadFingerprintsSql =
    "create table if not exists downloadfingerprints (download integer primary key, sha256 text)";
// The SHA-256 of the file protocol `protocol` last wrote.
inline constexpr const char* kCreateProtocolFingerprintsSql =
    "create table if not exists protocolfingerprints (protocol integer primary key, sha256 text)";
inline constexpr std::array<const char*, 5> kAuditSchema = {kCreateAuditLogSql, kAuditNoUpdateSql, kAuditNoDeleteSql,
                                                            kCreateDownloadFingerprintsSql,
                                                            kCreateProtocolFingerprintsSql};

// Kinds of change (stable: scripts and the archive select by them).
namespace audit {
inline constexpr const char* kStart = "audit.start";                // the log begins in this file
inline constexpr const char* kWorkplace = "measurement.workplace";  // measurements/<id>/workplace
inline constexpr const char* kHeight = "measurement.height";        // measurements/<id>/height
inline constexpr const char* kClearHistory = "measurements.clear";  // "Очистить историю измерений"
inline constexpr const char* kImport = "measurements.import";       // records stored not from a download
inline constexpr const char* kLevel = "level.set";                  // maxlevels/<name>/value
inline constexpr const char* kDirectory = "directory.save";         // <table>: every entry before and after
inline constexpr const char* kProtocolInsert = "protocol.insert";  // protocols/<id>
inline constexpr const char* kProtocolUpdate = "protocol.update";  // protocols/<id>
inline constexpr const char* kProtocolFile = "protocol.file";      // protocols/<id>/file: its SHA-256
inline constexpr const char* kProtocolDelete = "protocol.delete";  // protocols/<id>
}  // namespace audit

// What one change did.
struct TAuditChange {
    std::string kind;
    std::string table;
    std::string objectId;
    std::string field;
    std::optional<std::string> oldValue, newValue;
    bool operator==(const TAuditChange&) const = default;
};

struct TAuditEntry {
    std::int64_t id = 0;
    std::string time;  // as stored
    std::string user, workstation;
    TAuditChange change;
    bool operator==(const TAuditEntry&) const = default;
};

// Gives the main database its audit tables when it lacks them, with a first
// entry saying that the log begins. Run when a program opens it; a read-only
// or locked file is left as it is (the first change then creates them).
void EnsureAuditTables(TSQLiteDatabase& db) noexcept;

// Appends `change` inside the transaction open on `db` (raises when none is:
// an entry outside the change's own transaction could land without it).
// Creates the tables when missing. Texts that have no code-page-1251 byte in
// the user and host names are kept as <U+XXXX>.
void AppendAudit(TSQLiteDatabase& db, const TAuditChange& change);

// Runs `work` in the transaction open on `db`, or in one of its own when none
// is: an audited change and its entry commit together, also inside a larger
// transaction of the caller (`levels A=1 B=2` writes all or none).
void RunAudited(TSQLiteDatabase& db, const std::function<void()>& work);

// The entries matching `condition` (SQL on the table's columns, built from
// numbers only; empty for all), oldest first. None in a file without the log.
std::vector<TAuditEntry> ReadAuditLog(TSQLiteDatabase& db, const std::string& condition = {});

// What a kind means, for people ("Рабочее место измерения").
std::string AuditKindCaption(std::string_view kind);

// ---- the text forms of values

// A double as the shortest text that reads back to it ("250", "2.5").
std::string AuditNumber(double value);
// A JSON string; control characters and characters without a code-page-1251
// byte as \uXXXX, so the text is stored unchanged.
std::string JsonQuoted(std::string_view utf8);
// {"name":value,...} with each value already JSON (JsonQuoted, a number, null).
std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members);
// [[...],[...]]: rows of texts.
std::string JsonRows(const std::vector<std::vector<std::string>>& rows);

}  // namespace zorvex
