#include "archive/Workstation.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "archive/PgConnection.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex::archive {
namespace {

constexpr std::array kLocalTables = {
    "create table if not exists archivesettings (name text primary key, value text)",
    "create table if not exists archivesent (archive text, measurement integer, workplace integer, height integer, "
    "primary key (archive, measurement))",
    "create table if not exists archivesentdownloads (archive text, download integer, primary key (archive, download))",
    "create table if not exists archivesentprotocols (archive text, protocol integer, digest text, "
    "primary key (archive, protocol))",
    "create table if not exists archivesentaudit (archive text, entry integer, primary key (archive, entry))",
    "create table if not exists archiveorigin (measurement integer primary key, workstation text, sourceid integer)",
    "create unique index if not exists archiveorigin_source on archiveorigin (workstation, sourceid)",
    "create table if not exists archiveoriginprotocols (protocol integer primary key, workstation text, "
    "sourceid integer)",
    "create unique index if not exists archiveoriginprotocols_source on archiveoriginprotocols (workstation, sourceid)",
};

// Names and values are bound as parameters, so both carry the stored texts' zero byte.
constexpr const char* kWorkstationSetting = "workstation";
constexpr const char* kConnectionSetting = "connection";

std::optional<std::string> Setting(TSQLiteDatabase& db, const char* name) {
    if (!HasSchemaObject(db, "table", "archivesettings")) return std::nullopt;
    const auto t = db.Query("select value from archivesettings where name = ?", {std::string(name)});
    if (t->AtEnd()) return std::nullopt;
    return t->TextAt(0);
}

std::string EnvironmentValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

}  // namespace

void EnsureLocalTables(TSQLiteDatabase& db) {
    if (HasSchemaObject(db, "table", "archiveoriginprotocols")) return;
    db.RunInTransaction([&] {
        for (const char* sql : kLocalTables) db.Execute(sql);
    });
}

std::optional<std::string> KeptWorkstationId(TSQLiteDatabase& db) { return Setting(db, kWorkstationSetting); }

TWorkstation LocalWorkstation(TSQLiteDatabase& db) {
    EnsureLocalTables(db);
    TWorkstation w;
    // Two programs on a new data.db at once: the write lock decides whose id stays.
    db.RunInTransaction([&] {
        db.Execute("insert or ignore into archivesettings (name, value) values (?, ?)",
                   {std::string(kWorkstationSetting), NewRandomId()});
        w.id = db.ScalarText("select value from archivesettings where name = ?", {std::string(kWorkstationSetting)});
    });
    w.host = HostName();
    w.user = UserName();
    return w;
}

std::string HostName() {
#ifdef _WIN32
    return EnvironmentValue("COMPUTERNAME");
#else
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return "";
    return buffer;
#endif
}

std::string UserName() {
#ifdef _WIN32
    return EnvironmentValue("USERNAME");
#else
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
    return EnvironmentValue("USER");
#endif
}

std::string NewRandomId() {
    std::random_device device;
    std::array<unsigned, 16> bytes{};
    for (auto& b : bytes) b = device() & 0xFF;
    bytes[6] = (bytes[6] & 0x0F) | 0x40;  // version 4
    bytes[8] = (bytes[8] & 0x3F) | 0x80;  // variant
    std::string text;
    char hex[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += hex;
    }
    return text;
}

std::optional<std::string> RememberedConnection(TSQLiteDatabase& db) { return Setting(db, kConnectionSetting); }

void RememberConnection(TSQLiteDatabase& db, const std::string& conninfo) {
    const std::string kept = ConnInfoWithoutPassword(conninfo);
    if (RememberedConnection(db) == kept) return;
    EnsureLocalTables(db);
    db.Execute("insert or replace into archivesettings (name, value) values (?, ?)",
               {std::string(kConnectionSetting), kept});
}

}  // namespace zorvex::archive
