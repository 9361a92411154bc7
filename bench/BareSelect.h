#pragma once
// The floor a load is measured against: a bare prepared select reading every
// column of the matching rows into a matrix, as the store's reader must.
#include <sqlite3.h>

#include <cstddef>
#include <string>

#include "model/MeasureModel.h"
#include "storage/StoredTimes.h"

namespace zorvex::bench {

inline std::size_t BareSelect(sqlite3* db, const std::string& filter) {
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "select * from measurements where " + filter + " order by time";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    TMeasureDataP data;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        TMeasureRecord r;
        r.id = sqlite3_column_int(stmt, 0);
        r.number = sqlite3_column_int(stmt, 1);
        r.workplace = sqlite3_column_int(stmt, 2);
        r.height = sqlite3_column_int(stmt, 3);
        const int m = sqlite3_column_int(stmt, 4), k = sqlite3_column_int(stmt, 5);
        r.time = ParseStoredTime(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 6)));
        r.mvalue = sqlite3_column_double(stmt, 7);
        r.evalue = sqlite3_column_double(stmt, 8);
        r.mvalue2 = sqlite3_column_double(stmt, 9);
        r.evalue2 = sqlite3_column_double(stmt, 10);
        r.band = static_cast<std::uint8_t>(sqlite3_column_int(stmt, 11));
        r.rejection = static_cast<std::uint8_t>(sqlite3_column_int(stmt, 12));
        r.kind = static_cast<std::uint8_t>(k);
        if (m >= 0 && m < kMethodCount && k >= 0 && k < kKindCount) data(m, k).Records.push_back(r);
    }
    sqlite3_finalize(stmt);
    return data.TotalRecords();
}

}  // namespace zorvex::bench
