#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "storage/SQLiteDatabase.h"

namespace zorvex {

// The statements that lay out a new database file, in order; the seven
// default `maxlevels` rows are inserted between the fourth and the fifth.
extern const std::array<std::string_view, 11> kSchemaStatements;
inline constexpr std::string_view kInsertLevelSql = "insert into maxlevels (name, value) values(?, ?)";

// Opens a database file of the program's format. A file that does not exist
// or is empty receives the full schema. The process's working directory is
// moved to the file's directory for the open and left at the program's
// directory afterwards. Raises ESQLiteException when the file's directory
// cannot be entered, rather than opening a same-named file elsewhere, and
// refuses an empty name or a directory (CheckFilePath).
std::unique_ptr<TSQLiteDatabase> OpenDatabase(const std::string& fileName);

// Runs the schema statements in one transaction on a database without any
// tables; a database that has some by the time the write lock is held is left
// as it is.
void CreateSchema(TSQLiteDatabase& db);

}  // namespace zorvex
