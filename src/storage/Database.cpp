#include "storage/Database.h"

#include <filesystem>

#include "storage/FileSafety.h"
#include "base/Paths.h"
#include "storage/Levels.h"
#include "base/RunSettings.h"

namespace zorvex {

const std::array<std::string_view, 11> kSchemaStatements = {
    "create table measurements (id integer primary key autoincrement, number integer, workplace integer, "
    "height integer,method integer, kind integer, time datetime, mvalue double, evalue double, mvalue2 double, "
    "evalue2 double, band integer, rejection integer )",
    "create table protocollists (id integer primary key autoincrement, const text,value text,used integer, "
    "lastuse datetime)",
    "create table protocols (id integer primary key autoincrement, number text, date datetime, consts text, "
    "tabdata text)",
    "create table maxlevels (id integer primary key autoincrement, name text, value float)",
    "create table devices (id integer primary key autoincrement, kind text, plantnumber text, regnumber text, "
    "checkdate datetime)",
    "create table techdocs (id integer primary key autoincrement, name text)",
    "create table orgs (id integer primary key autoincrement, name text, address text, inn text)",
    "create table workplaces (id integer primary key autoincrement, name text, code text)",
    "create table checkgoals (id integer primary key autoincrement, name text)",
    "create table checkplaces (id integer primary key autoincrement, name text)",
    "create table presenters (id integer primary key autoincrement, name text)",
};

void CreateSchema(TSQLiteDatabase& db) {
    // Two programs may find the same file new at once (a script and the
    // window started together). The write lock taken first decides: the one
    // that comes second waits for it, finds the tables and leaves them be.
    // All or nothing, so a failure leaves an empty file, new again next time.
    db.RunInTransaction([&] {
        if (db.ScalarInt("select count(*) from sqlite_master") > 0) return;
        for (std::size_t i = 0; i < kSchemaStatements.size(); ++i) {
            db.Execute(std::string(kSchemaStatements[i]));
            if (i == 3) {
                for (int level = 0; level < kSubfieldCount; ++level)
                    db.Execute(std::string(kInsertLevelSql), {LevelNames[level], kLevelDefaults[level]});
            }
        }
    });
}

std::unique_ptr<TSQLiteDatabase> OpenDatabase(const std::string& fileName) {
    namespace fs = std::filesystem;
    CheckFilePath(fileName);
    const fs::path path = PathFromUtf8(fileName);
    std::error_code ec;
    const bool isNew = !(fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0 && !ec);

    std::unique_ptr<TSQLiteDatabase> db;
    if (path.has_parent_path()) {
        fs::current_path(path.parent_path(), ec);
        if (ec) {
            throw ESQLiteException("Failed to open database \"" + fileName + "\" : каталог «" +
                                   Utf8FromPath(path.parent_path()) + "» недоступен");
        }
    }
    try {
        db = TSQLiteDatabase::Open(Utf8FromPath(path.filename()));
    } catch (...) {
        fs::current_path(PathFromUtf8(ProgramDirectory()), ec);
        throw;
    }
    fs::current_path(PathFromUtf8(ProgramDirectory()), ec);

    if (isNew) CreateSchema(*db);
    return db;
}

}  // namespace zorvex
