#include "storage/DBDataAdapter.h"

#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex {
namespace {

// The connection an adapter call works on: a file opened for the call, or the
// main database.
class AdapterConnection {
public:
    explicit AdapterConnection(const std::string& fileName) {
        if (!fileName.empty()) owned_ = OpenDatabase(fileName);
    }
    TSQLiteDatabase& get() { return owned_ ? *owned_ : MainDatabase(); }

private:
    std::unique_ptr<TSQLiteDatabase> owned_;
};

}  // namespace

// Records carry 32-bit ids: a row id past that range would be narrowed on the
// record and make every later read of the table fail, so such a store is
// refused before any row is written. SQLite's next id is one past the larger
// of the highest id in use and the highest ever handed out.
void CheckMeasurementIdsLeft(TSQLiteDatabase& db, std::int64_t count) {
    const std::int64_t highest = db.ScalarInt(
        "select max(coalesce((select max(id) from measurements), 0), "
        "coalesce((select seq from sqlite_sequence where name = 'measurements'), 0))");
    if (count > 0 && highest > std::numeric_limits<std::int32_t>::max() - count)
        throw Exception("Измерения не сохранены: номера записей базы данных исчерпаны (наибольший номер " +
                        std::to_string(highest) + ")");
}

void TDBDataAdapter::GetData(const std::string& Param, TMeasureDataP& Data) {
    AdapterConnection connection(Param);
    if (Filter.empty()) Filter = "1=1";
    const auto table = connection.get().Query("select * from measurements where " + Filter + " order by time");
    if (table->RowCount() == 0) return;

    const int cId = table->ColumnIndex("id"), cNumber = table->ColumnIndex("number"),
              cWorkplace = table->ColumnIndex("workplace"), cHeight = table->ColumnIndex("height"),
              cMethod = table->ColumnIndex("method"), cKind = table->ColumnIndex("kind"),
              cTime = table->ColumnIndex("time"), cMValue = table->ColumnIndex("mvalue"),
              cEValue = table->ColumnIndex("evalue"), cMValue2 = table->ColumnIndex("mvalue2"),
              cEValue2 = table->ColumnIndex("evalue2"), cBand = table->ColumnIndex("band"),
              cRejection = table->ColumnIndex("rejection");

    while (!table->AtEnd()) {
        TMeasureRecord r;
        r.id = StrToInt(table->TextAt(cId));
        const int method = StrToInt(table->TextAt(cMethod));
        const int kind = StrToInt(table->TextAt(cKind));
        r.band = static_cast<std::uint8_t>(StrToInt(table->TextAt(cBand)));
        r.number = StrToIntDef(table->TextAt(cNumber), 0);
        r.workplace = StrToIntDef(table->TextAt(cWorkplace), 0);
        r.height = StrToIntDef(table->TextAt(cHeight), 0);
        r.rejection = static_cast<std::uint8_t>(StrToIntDef(table->TextAt(cRejection), 0));
        r.time = ParseStoredTime(table->TextAt(cTime));
        r.mvalue = StrToFloat(table->TextAt(cMValue));
        r.mvalue2 = StrToFloat(table->TextAt(cMValue2));
        r.evalue = StrToFloat(table->TextAt(cEValue));
        r.evalue2 = StrToFloat(table->TextAt(cEValue2));
        r.kind = static_cast<std::uint8_t>(kind);
        // The program never writes such rows; one that another tool wrote has
        // no place in the matrix.
        if (method >= 0 && method < kMethodCount && kind >= 0 && kind < kKindCount) {
            TMeasureSeries& series = Data(method, kind);
            series.method = static_cast<std::uint8_t>(method);
            series.Records.push_back(r);
        }
        table->MoveNext();
    }
}

void TDBDataAdapter::PutData(TMeasureDataP& Data, const std::string& Param) {
    AdapterConnection connection(Param);
    TSQLiteDatabase& db = connection.get();
    // Records given a row id by this call, with the id they had before. When
    // the transaction ends without its commit those rows are gone, and their
    // ids must not stay on the records: SQLite hands them out again.
    std::vector<std::pair<TMeasureRecord*, std::int32_t>> given;
    const auto rollBack = [&] {
        if (db.InTransaction()) {
            try {
                db.RollbackTransaction();
            } catch (...) {
            }
        }
        for (const auto& [record, previousId] : given) record->id = previousId;
    };
    CheckMeasurementIdsLeft(db, static_cast<std::int64_t>(Data.TotalRecords()));
    db.StartTransaction();
    try {
        for (int method = 0; method < kMethodCount; ++method) {
            for (int kind = 0; kind < kKindCount; ++kind) {
                for (TMeasureRecord& r : Data(method, kind).Records) {
                    db.Execute(kInsertMeasurementSql,
                               {method, kind, r.number, r.workplace, r.height, StoredTime(r.time), r.mvalue,
                                r.mvalue2, r.evalue, r.evalue2, static_cast<std::int32_t>(r.band),
                                static_cast<std::int32_t>(r.rejection)});
                    given.emplace_back(&r, r.id);
                    r.id = static_cast<std::int32_t>(db.LastRowId());
                }
            }
        }
    } catch (...) {
        // Keep what was stored before the failure; if even the commit fails,
        // nothing is kept and the connection is left without a transaction.
        // The first error is the one reported.
        try {
            db.CommitTransaction();
        } catch (...) {
            rollBack();
        }
        throw;
    }
    try {
        db.CommitTransaction();
    } catch (...) {
        // A reader holding the file makes the commit fail and SQLite keeps the
        // transaction open: end it rather than leave the connection stuck.
        rollBack();
        throw;
    }
}

}  // namespace zorvex
