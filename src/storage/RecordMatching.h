#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/MeasureModel.h"

namespace zorvex {

class TSQLiteDatabase;

// A record of a matrix with the series it sits in.
struct TRecordRef {
    int method = 0, kind = 0;
    const TMeasureRecord* record = nullptr;
};

// The records in the order the measurement store writes them: method 0 kinds
// 0-4, then method 1 kinds 0-4.
std::vector<TRecordRef> RecordsInStoreOrder(const TMeasureDataP& data);

// A stored `measurements` row as far as a download needs it.
struct TStoredRow {
    std::int32_t id = 0, workplace = 0, height = 0;
    bool operator==(const TStoredRow&) const = default;
};

// The stored row each record equals, or nothing. A record equals a row when
// method and kind (of its series), time to the second, number, band,
// rejection and the four values are all the same; workplace and height are
// the user's notes and do not count. Matching is one to one: two equal
// records take two equal rows, the lowest ids first, and a record equal to no
// free row gets nothing. Looks each second of the records up through the index
// on `measurements(time)` when the database has it.
std::vector<std::optional<TStoredRow>> MatchStoredRows(TSQLiteDatabase& db, const std::vector<TRecordRef>& records);

// The name of that index.
inline constexpr const char* kMeasurementTimeIndex = "measurements_time";

// Whether the database's schema holds an object of that type ("table",
// "index") and name.
bool HasSchemaObject(TSQLiteDatabase& db, const char* type, const char* name);

}  // namespace zorvex
