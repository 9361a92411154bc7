#include "storage/DBDataAdapter.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/AuditLog.h"
#include "storage/Database.h"
#include "storage/OrdinaryRows.h"
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

// A cell read as its text and parsed, as the store has always read it (a
// floating cell thus rounded to 15 digits), without the text where that
// changes nothing: a finite non-zero value whose shortest form has at most 15
// digits comes back as itself from either path, whatever the cell holds.
double FloatCell(const TSQLiteTable& table, int column) {
    if (const auto v = table.FloatAt(column); v && *v != 0 && std::isfinite(*v) && ShortestDigits(*v) <= 15) return *v;
    return StrToFloat(table.TextAt(column));
}

// The row a conversion error comes from, added to its message as it is.
[[noreturn]] void RaiseForRow(const EConvertError& error, const std::string& idText) {
    throw EConvertError(error.Message() + (idText.empty() ? " (запись без номера)" : " (запись id " + idText + ")"));
}

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
    SkippedRows = 0;
    const std::string sql = "select * from measurements where " + Filter + " order by time";
    if (ReadOrdinaryRows(connection.get(), sql, Data, SkippedRows)) return;
    // The schema declares its integer columns in lower case, meant to be read
    // as text and converted: a text that is no integer must not pass as 0.
    const auto table = connection.get().Query(sql, {}, TSQLiteTable::DeclaredTypes::LowerCase);
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
        int method = 0, kind = 0;
        const std::string idText = table->TextAt(cId);
        try {
            r.id = StrToInt(idText);
            method = StrToInt(table->TextAt(cMethod));
            kind = StrToInt(table->TextAt(cKind));
            r.band = static_cast<std::uint8_t>(StrToInt(table->TextAt(cBand)));
            r.number = StrToIntDef(table->TextAt(cNumber), 0);
            r.workplace = StrToIntDef(table->TextAt(cWorkplace), 0);
            r.height = StrToIntDef(table->TextAt(cHeight), 0);
            r.rejection = static_cast<std::uint8_t>(StrToIntDef(table->TextAt(cRejection), 0));
            r.time = ParseStoredTime(table->TextAt(cTime));
            r.mvalue = FloatCell(*table, cMValue);
            r.mvalue2 = FloatCell(*table, cMValue2);
            r.evalue = FloatCell(*table, cEValue);
            r.evalue2 = FloatCell(*table, cEValue2);
        } catch (const EConvertError& e) {
            RaiseForRow(e, idText);
        }
        r.kind = static_cast<std::uint8_t>(kind);
        // The program never writes such rows; one that another tool wrote has
        // no place in the matrix.
        if (method >= 0 && method < kMethodCount && kind >= 0 && kind < kKindCount) {
            TMeasureSeries& series = Data(method, kind);
            series.method = static_cast<std::uint8_t>(method);
            series.Records.push_back(r);
        } else {
            ++SkippedRows;
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
    // Records stored into the main database not from a download go to its
    // audit log, in the same transaction: what was stored, counted.
    std::int64_t stored = 0, firstId = 0, lastId = 0;
    const auto noteImport = [&] {
        if (!Param.empty() || stored == 0) return;
        AppendAudit(db, {audit::kImport, "measurements", IntToStr(firstId) + "-" + IntToStr(lastId), "", std::nullopt,
                         JsonObject({{"count", IntToStr(stored)},
                                     {"firstid", IntToStr(firstId)},
                                     {"lastid", IntToStr(lastId)}})});
    };
    CheckMeasurementIdsLeft(db, static_cast<std::int64_t>(Data.TotalRecords()));
    db.StartTransaction();
    try {
        for (int method = 0; method < kMethodCount; ++method) {
            for (int kind = 0; kind < kKindCount; ++kind) {
                for (TMeasureRecord& r : Data(method, kind).Records) {
                    db.Execute(kInsertMeasurementSql,
                               {method, kind, r.number, r.workplace, r.height, StoredTime(r.time), r.mvalue, r.mvalue2,
                                r.evalue, r.evalue2, static_cast<std::int32_t>(r.band),
                                static_cast<std::int32_t>(r.rejection)});
                    given.emplace_back(&r, r.id);
                    r.id = static_cast<std::int32_t>(db.LastRowId());
                    if (stored++ == 0) firstId = r.id;
                    lastId = r.id;
                }
            }
        }
    } catch (...) {
        // Keep what was stored before the failure; if even the commit fails,
        // nothing is kept and the connection is left without a transaction.
        // The first error is the one reported.
        try {
            noteImport();
            db.CommitTransaction();
        } catch (...) {
            rollBack();
        }
        throw;
    }
    try {
        noteImport();
        db.CommitTransaction();
    } catch (...) {
        // A reader holding the file makes the commit fail and SQLite keeps the
        // transaction open: end it rather than leave the connection stuck.
        rollBack();
        throw;
    }
}

}  // namespace zorvex
