#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3_stmt;

namespace zorvex {
class TSQLiteDatabase;
}

namespace zorvex::archive {

// A statement on data.db stepped row by row, for the bulk reads and writes
// of a push or pull: the database layer's query holds a whole result at once.
// Cells are read as the layer reads them: text up to its first zero byte,
// code page 1251 turned into UTF-8.
class TLocalStatement {
public:
    TLocalStatement(TSQLiteDatabase& db, const std::string& sql);
    ~TLocalStatement();
    TLocalStatement(const TLocalStatement&) = delete;
    TLocalStatement& operator=(const TLocalStatement&) = delete;

    void BindInt(int index, std::int64_t value);
    void BindNull(int index);
    void BindFloat(int index, double value);
    // As the layer stores text: code page 1251 with its terminating zero byte.
    void BindText(int index, std::string_view utf8);
    // True while there is a row; raises ESQLiteException on failure.
    bool Step();
    void Reset();

    bool IsNull(int column) const;
    // An integer cell, or text that is one; nothing otherwise.
    std::optional<std::int64_t> Int(int column) const;
    // A number cell, or text that is one; nothing otherwise.
    std::optional<double> Float(int column) const;
    std::optional<std::string> Text(int column) const;

private:
    TSQLiteDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace zorvex::archive
