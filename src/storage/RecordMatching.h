#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
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
    std::int32_t number = 0;
    int band = 0, rejection = 0;
    double mvalue = 0, evalue = 0, mvalue2 = 0, evalue2 = 0;
    bool operator==(const TStoredRow&) const = default;
};

// The stored row each record of a download over `link` ("driver", "usb";
// empty when unknown) equals, or nothing. Matching is one to one: two equal
// records take two equal rows, the lowest ids first, and a record equal to no
// free row gets nothing.
//
// A record equals a row when method and kind (of its series), time to the
// second, number, band, rejection and the four values are all the same;
// workplace and height are the user's notes and do not count.
//
// A record left without a row then matches a row that another link brought
// (the link of the row's first download), since the two links give the same
// reading differently: the USB link numbers records its own way, carries
// values as single floats (magnetic ones scaled by 1.256), gives no band for
// monitoring records and fills the fields a kind does not measure with -1
// where the driver link leaves 0. Across links the record and the row must
// agree in method, kind, time to the second, rejection, band (single
// measurements only), and in the values their kind measures (kind 0: both,
// kinds 1 and 3: magnetic, kinds 2 and 4: electric): both absent (-1), or
// both present and apart by at most SameAcrossLinks' tolerance. Number and
// the other value fields do not count. Rows of no recorded download match
// only equal records.
//
// Looks each second of the records up through the index on
// `measurements(time)` when the database has it.
std::vector<std::optional<TStoredRow>> MatchStoredRows(TSQLiteDatabase& db, const std::vector<TRecordRef>& records,
                                                       std::string_view link);

// Whether a record of series (method, kind) read over one link is the stored
// row another link brought, as above (time, method and kind already agree).
bool SameAcrossLinks(int method, int kind, const TMeasureRecord& record, const TStoredRow& row);

// The name of that index.
inline constexpr const char* kMeasurementTimeIndex = "measurements_time";

// Whether the database's schema holds an object of that type ("table",
// "index") and name.
bool HasSchemaObject(TSQLiteDatabase& db, const char* type, const char* name);

}  // namespace zorvex
