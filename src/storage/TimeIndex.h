#pragma once

#include <string>
#include <vector>

namespace zorvex {

class TSQLiteDatabase;

// Creates the index on `measurements(time)` (kMeasurementTimeIndex) when the
// database has a measurements table and lacks it. The index only speeds up
// reading: a read-only or locked file, or one without measurements, is left
// as it is, without an error and without an open transaction.
void EnsureTimeIndex(TSQLiteDatabase& db);

// The distinct days having measurements, ascending, as "yyyy-mm-dd" texts:
// what "select distinct date(time) ... order by time" gives for well-formed
// times. With the index it seeks once per day instead of reading every row;
// without it, it runs that query.
std::vector<std::string> StoredDays(TSQLiteDatabase& db);

}  // namespace zorvex
