#pragma once

#include <cstdint>
#include <string>

#include "model/MeasureModel.h"

namespace zorvex {

class TSQLiteDatabase;

// The measurement store: loads a filtered set of `measurements` rows into a
// matrix and appends a matrix's records as new rows. `Param` names a database
// file; empty means the main database.
class TDBDataAdapter : public TMDAdapter {
public:
    // SQL condition on `measurements`, put into the query verbatim; callers
    // build it from numbers only. Empty selects every row.
    std::string Filter;

    // Appends the selected rows, ordered by time, to `Data`. Rows whose method
    // or kind lies outside the matrix are skipped and counted in SkippedRows.
    void GetData(const std::string& Param, TMeasureDataP& Data) override;

    // Rows the last GetData selected but could not place in the matrix.
    std::int64_t SkippedRows = 0;

    // Inserts every record, method 0 kinds 0..4 then method 1 kinds 0..4, in
    // one transaction, and gives each its new row id. When an insert fails the
    // rows stored before it are still committed (and keep their ids) and the
    // error is raised. When the commit itself fails, nothing is stored, the
    // records keep the ids they had and no transaction stays open. A store
    // into the main database (empty `Param`) is entered in its audit log in
    // the same transaction (AuditLog.h).
    void PutData(TMeasureDataP& Data, const std::string& Param) override;
};

// Refuses a store of `count` new rows whose ids would pass 2^31-1, before any
// row is written: records carry 32-bit ids.
void CheckMeasurementIdsLeft(TSQLiteDatabase& db, std::int64_t count);

inline constexpr const char* kInsertMeasurementSql =
    "insert into measurements (method, kind, number, workplace, height, time, mvalue, mvalue2, evalue, evalue2, "
    "band, rejection) values(?,?,?,?,?,?,?,?,?,?,?,?)";

}  // namespace zorvex
