#pragma once

#include <string>
#include <vector>

namespace zorvex {

class TSQLiteDatabase;

// The one statement that creates the index on `measurements(time)`.
inline constexpr const char* kCreateTimeIndexSql =
    "create index if not exists measurements_time on measurements (time)";

// Creates the index on `measurements(time)` (kMeasurementTimeIndex) when the
// database has a measurements table and lacks it. The index only speeds up
// reading: a read-only or locked file, or one without measurements, is left
// as it is, without an error and without an open transaction.
void EnsureTimeIndex(TSQLiteDatabase& db);

// The distinct days having measurements as "yyyy-mm-dd" texts (a time
// without a date gives one empty text), in the order of their first time:
// what "select distinct date(time) ... order by time" gives. With the index it
// seeks once per day of times in the stored form and once per other distinct
// time instead of reading every row: the first time of a day in the stored
// form stands for the times after it up to that day's last second in the
// stored form, which are not read. Without the index, or with many times not
// in the stored form, it runs that query.
std::vector<std::string> StoredDays(TSQLiteDatabase& db);

}  // namespace zorvex
