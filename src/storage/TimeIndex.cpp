#include "storage/TimeIndex.h"

#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex {
namespace {

// Each step seeks the first time past the day found last: the day's ten
// characters followed by char(255) sort above every time of that day (the
// next byte there is a space or the end) and below the next day. Built in SQL,
// as a bound passed as a parameter would be recoded to code page 1251.
constexpr const char* kSkipScanSql =
    "with recursive days(t) as ("
    " select (select time from measurements where time >= '' order by time limit 1)"
    " union all"
    " select (select time from measurements where time >= substr(days.t, 1, 10) || char(255)"
    " order by time limit 1) from days where days.t is not null)"
    " select date(t) as date from days where t is not null";
constexpr const char* kScanSql = "select distinct date(time) as date from measurements order by time";

}  // namespace

void EnsureTimeIndex(TSQLiteDatabase& db) {
    try {
        if (!HasSchemaObject(db, "table", "measurements") || HasSchemaObject(db, "index", kMeasurementTimeIndex))
            return;
        // A file another program holds locked is not waited for at opening.
        db.SetBusyTimeout(0);
        try {
            db.Execute(std::string("create index if not exists ") + kMeasurementTimeIndex + " on measurements (time)");
        } catch (const ESQLiteException&) {
        }
        db.SetBusyTimeout(TSQLiteDatabase::kDefaultBusyTimeoutMs);
    } catch (const ESQLiteException&) {
        // Without the index reading is slower, not wrong.
    }
}

std::vector<std::string> StoredDays(TSQLiteDatabase& db) {
    std::vector<std::string> days;
    db.ColumnTexts(HasSchemaObject(db, "index", kMeasurementTimeIndex) ? kSkipScanSql : kScanSql, days);
    return days;
}

}  // namespace zorvex
