#include "storage/MeasurementEdits.h"

#include <optional>
#include <string>

#include "base/Numbers.h"
#include "storage/AuditLog.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex {
namespace {

// One of the user's notes on a stored measurement.
void SetNote(TSQLiteDatabase& db, std::int32_t id, const char* column, const char* kind, std::int32_t value) {
    RunAudited(db, [&] {
        const auto row = db.Query(std::string("select ") + column + " from measurements where id=?", {id},
                                  TSQLiteTable::DeclaredTypes::LowerCase);
        if (row->AtEnd()) return;
        const std::string before = row->TextAt(0);
        const std::string after = IntToStr(value);
        if (before == after) return;
        db.Execute(std::string("update measurements set ") + column + "=? where id=?", {value, id});
        AppendAudit(db, {kind, "measurements", IntToStr(id), column, before, after});
    });
}

}  // namespace

void SetStoredWorkplace(TSQLiteDatabase& db, std::int32_t id, std::int32_t workplace) {
    SetNote(db, id, "workplace", audit::kWorkplace, workplace);
}

void SetStoredHeight(TSQLiteDatabase& db, std::int32_t id, std::int32_t height) {
    SetNote(db, id, "height", audit::kHeight, height);
}

void ClearMeasurementHistory(TSQLiteDatabase& db) {
    RunAudited(db, [&] {
        const auto range =
            db.Query("select count(*), min(id), max(id) from measurements", {}, TSQLiteTable::DeclaredTypes::LowerCase);
        const std::string count = range->TextAt(0);
        db.Execute("delete from measurements");
        if (count == "0") return;
        AppendAudit(db, {audit::kClearHistory, "measurements", "", "",
                         JsonObject({{"count", count}, {"firstid", range->TextAt(1)}, {"lastid", range->TextAt(2)}}),
                         JsonObject({{"count", "0"}})});
    });
}

}  // namespace zorvex
