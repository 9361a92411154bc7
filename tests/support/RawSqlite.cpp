#include "support/RawSqlite.h"

#include <sqlite3.h>
#include <gtest/gtest.h>

namespace zorvex::test {

std::vector<std::vector<std::string>> RawRows(const std::string& file, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << file;
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                    row.emplace_back("<null>");
                } else {
                    const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, c));
                    row.emplace_back(p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)))
                                       : std::string());
                }
            }
            rows.push_back(std::move(row));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

void RawExec(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        ADD_FAILURE() << (error ? error : "?");
        sqlite3_free(error);
    }
    sqlite3_close(db);
}

}  // namespace zorvex::test
