#include "storage/TimeIndex.h"

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "base/CodePage1251.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex {
namespace {

static_assert(std::string_view(kCreateTimeIndexSql).find(kMeasurementTimeIndex) != std::string_view::npos,
              "the statement creates the index the store looks for");

constexpr const char* kScanSql = "select distinct date(time) as date from measurements order by time";
constexpr const char* kNullSql = "select 1 from measurements where time is null limit 1";
constexpr const char* kFirstSql =
    "select time, date(time) from measurements where time is not null order by time limit 1";
constexpr const char* kNextSql = "select time, date(time) from measurements where time > ?1 order by time limit 1";
// Times not in the stored form are stepped over one distinct value at a time;
// past this many, reading the table once is quicker.
constexpr int kMostOddSteps = 256;

struct StatementCloser {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementCloser>;
struct ValueFree {
    void operator()(sqlite3_value* value) const { sqlite3_value_free(value); }
};
using ValuePtr = std::unique_ptr<sqlite3_value, ValueFree>;

[[noreturn]] void Fail(TSQLiteDatabase& db, const char* message, const char* sql) {
    const int code = sqlite3_errcode(db.Handle());
    throw ESQLiteException(std::string(message) + ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorName(code) +
                           ".\r\"" + sql + "\": " + Cp1251ToUtf8(sqlite3_errmsg(db.Handle())));
}

StatementPtr Prepare(TSQLiteDatabase& db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.Handle(), sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        Fail(db, "Error executing SQL", sql);
    }
    return StatementPtr(raw);
}

// Steps a "limit 1" statement: true with its row ready, false without one.
bool StepRow(TSQLiteDatabase& db, sqlite3_stmt* stmt, const char* sql) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db, "Could not retrieve data", sql);
}

bool Digits(std::string_view text, std::size_t at, int highest) {
    const char a = text[at], b = text[at + 1];
    return a >= '0' && a <= '9' && b >= '0' && b <= '9' && (a - '0') * 10 + (b - '0') <= highest;
}

// A time as the program stores it: "yyyy-mm-dd hh:nn:ss" with a valid time
// of day, followed by nothing or by the zero byte it is written with. Every
// such text of one day gives that day's date() (or, for a date SQLite does
// not take, NULL for all alike), and lies at or below the day's last second
// followed by the zero byte.
bool InStoredForm(sqlite3_value* value) {
    if (sqlite3_value_type(value) != SQLITE_TEXT) return false;
    const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
    const auto size = static_cast<std::size_t>(sqlite3_value_bytes(value));
    if (!bytes || (size != 19 && !(size == 20 && bytes[19] == '\0'))) return false;
    const std::string_view t(bytes, 19);
    for (const std::size_t at : {0u, 2u, 5u, 8u})
        if (!Digits(t, at, 99)) return false;
    return t[4] == '-' && t[7] == '-' && t[10] == ' ' && Digits(t, 11, 23) && t[13] == ':' && Digits(t, 14, 59) &&
           t[16] == ':' && Digits(t, 17, 59);
}

// Walks the index in time order, as the scan with the index reads it, and
// dates one time per step with SQLite's own date(): a time in the stored form
// stands for its whole day, whose stored-form span is then skipped; any other
// time (other bytes, a number, a blob) stands for itself alone. Each bound is
// at or above the time just found, so every step moves strictly on. Gives
// nothing when too many times are not in the stored form.
std::optional<std::vector<std::string>> SkipScanDays(TSQLiteDatabase& db) {
    std::vector<std::string> days;
    std::set<std::string> seen;
    bool nullSeen = false;
    const auto add = [&](sqlite3_stmt* stmt) {
        const auto* date = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
        if (!date) {
            // ColumnTexts gives a NULL as an empty text.
            if (!std::exchange(nullSeen, true)) days.emplace_back();
        } else if (seen.insert(date).second) {
            days.emplace_back(date);
        }
    };
    {
        const StatementPtr nulls = Prepare(db, kNullSql);
        if (StepRow(db, nulls.get(), kNullSql)) {
            nullSeen = true;
            days.emplace_back();
        }
    }
    const StatementPtr first = Prepare(db, kFirstSql), next = Prepare(db, kNextSql);
    sqlite3_stmt* found = first.get();
    const char* foundSql = kFirstSql;
    int oddSteps = 0;
    ValuePtr time;
    while (StepRow(db, found, foundSql)) {
        add(found);
        time.reset(sqlite3_value_dup(sqlite3_column_value(found, 0)));
        if (!time) throw ESQLiteException("Could not retrieve data");
        sqlite3_reset(next.get());
        int rc = SQLITE_OK;
        if (InStoredForm(time.get())) {
            // The day's last second with its zero byte: the highest stored form.
            std::string last(static_cast<const char*>(sqlite3_value_blob(time.get())), 10);
            last.append(" 23:59:59", 9).push_back('\0');
            rc = sqlite3_bind_text(next.get(), 1, last.data(), static_cast<int>(last.size()), SQLITE_TRANSIENT);
        } else {
            if (++oddSteps > kMostOddSteps) return std::nullopt;
            rc = sqlite3_bind_value(next.get(), 1, time.get());
        }
        if (rc != SQLITE_OK) Fail(db, "Could not bind text", kNextSql);
        found = next.get();
        foundSql = kNextSql;
    }
    return days;
}

}  // namespace

void EnsureTimeIndex(TSQLiteDatabase& db) {
    try {
        if (!HasSchemaObject(db, "table", "measurements") || HasSchemaObject(db, "index", kMeasurementTimeIndex))
            return;
        // A file another program holds locked is not waited for at opening.
        db.SetBusyTimeout(0);
        try {
            db.Execute(kCreateTimeIndexSql);
        } catch (const ESQLiteException&) {
        }
        db.SetBusyTimeout(TSQLiteDatabase::kDefaultBusyTimeoutMs);
    } catch (const ESQLiteException&) {
        // Without the index reading is slower, not wrong.
    }
}

std::vector<std::string> StoredDays(TSQLiteDatabase& db) {
    if (HasSchemaObject(db, "index", kMeasurementTimeIndex))
        if (auto days = SkipScanDays(db)) return std::move(*days);
    std::vector<std::string> days;
    db.ColumnTexts(kScanSql, days);
    return days;
}

}  // namespace zorvex
