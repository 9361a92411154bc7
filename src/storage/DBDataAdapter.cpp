#include "storage/DBDataAdapter.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/CodePage1251.h"
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

// Significant digits of the shortest text that reads back to `value`.
int ShortestDigits(double value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    int digits = 0;
    for (const char* p = buf; p != res.ptr && *p != 'e'; ++p)
        if (*p != '.') ++digits;
    return digits;
}

// A cell read as its text and parsed, as the store has always read it (a
// floating cell thus rounded to 15 digits), without the text where that
// changes nothing: a finite non-zero value whose shortest form has at most 15
// digits comes back as itself from either path, whatever the cell holds.
double FloatCell(const TSQLiteTable& table, int column) {
    if (const auto v = table.FloatAt(column); v && *v != 0 && std::isfinite(*v) && ShortestDigits(*v) <= 15) return *v;
    return StrToFloat(table.TextAt(column));
}

// The columns GetData reads, in the order it looks them up.
enum Column {
    colId,
    colNumber,
    colWorkplace,
    colHeight,
    colMethod,
    colKind,
    colTime,
    colMValue,
    colEValue,
    colMValue2,
    colEValue2,
    colBand,
    colRejection,
    kColumnCount
};
constexpr std::array<std::string_view, kColumnCount> kColumnNames = {
    "id",     "number", "workplace", "height",  "method", "kind",     "time",
    "mvalue", "evalue", "mvalue2",   "evalue2", "band",   "rejection"};

bool SameNameAnyCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct StatementCloser {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

// The rows of `sql` read straight from the statement, for speed: the general
// path turns every cell into text and parses it back. Only cells for which
// both give the same value are taken (integers within range, numbers whose
// shortest form has at most 15 digits, ASCII times that parse); at the first
// other cell, error or column type the general path would treat otherwise it
// gives up and returns false with `Data` untouched, so that path runs and
// decides, errors included.
bool ReadOrdinaryRows(TSQLiteDatabase& db, const std::string& sql, TMeasureDataP& Data, std::int64_t& skipped) {
    sqlite3_stmt* raw = nullptr;
    const std::string encoded = Utf8ToCp1251(sql);
    if (sqlite3_prepare_v2(db.Handle(), encoded.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, StatementCloser> stmt(raw);
    if (!raw) return false;
    std::array<int, kColumnCount> at{};
    std::array<bool, kColumnCount> readAsNumber{};
    const int columns = sqlite3_column_count(raw);
    for (int k = 0; k < kColumnCount; ++k) {
        at[k] = -1;
        for (int c = 0; c < columns && at[k] < 0; ++c)
            if (SameNameAnyCase(sqlite3_column_name(raw, c), kColumnNames[k])) at[k] = c;
        if (at[k] < 0) return false;
        // The general path reads a column by its declared type: as an
        // integer, a number or text. Each field is taken here only in the
        // forms whose text reads back unchanged.
        const char* declared = sqlite3_column_decltype(raw, at[k]);
        if (!declared) return false;
        const std::string_view t(declared);
        const bool asInteger = t == "INTEGER" || t == "BOOLEAN";
        const bool asNumber = t == "NUMERIC" || t == "FLOAT" || t == "DOUBLE" || t == "REAL";
        if (t == "BLOB") return false;
        if (k == colTime && (asInteger || asNumber)) return false;
        const bool numberField = k == colMValue || k == colEValue || k == colMValue2 || k == colEValue2;
        if (numberField ? asInteger : asNumber) return false;
        readAsNumber[k] = asNumber;
    }
    const auto integer = [&](int k, std::int32_t& out) {
        if (sqlite3_column_type(raw, at[k]) != SQLITE_INTEGER) return false;
        const std::int64_t v = sqlite3_column_int64(raw, at[k]);
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    };
    const auto number = [&](int k, double& out) {
        const int type = sqlite3_column_type(raw, at[k]);
        if (type == SQLITE_INTEGER) {
            const std::int64_t v = sqlite3_column_int64(raw, at[k]);
            // Up to 15 digits: exact as a double and in a 15-digit text alike.
            if (v <= -1000000000000000 || v >= 1000000000000000) return false;
            out = static_cast<double>(v);
            return true;
        }
        if (type != SQLITE_FLOAT) return false;
        const double v = sqlite3_column_double(raw, at[k]);
        if (!std::isfinite(v)) return false;
        if (v != 0 && ShortestDigits(v) <= 15) {
            out = v;
            return true;
        }
        // More digits than the text keeps, or a zero that may carry a sign:
        // parse the very text the general path would.
        if (readAsNumber[k]) {
            out = StrToFloat(FloatToStr(v));
            return true;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, at[k]));
        if (!text) return false;
        const auto parsed = TryStrToFloat(std::string_view(text, std::strlen(text)));
        if (!parsed) return false;
        out = *parsed;
        return true;
    };
    // Kept apart until every row is read: a give-up leaves `Data` as it was.
    std::array<std::vector<TMeasureRecord>, kMethodCount * kKindCount> staged;
    std::int64_t outside = 0;
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return false;
        TMeasureRecord r;
        std::int32_t method = 0, kind = 0, band = 0, rejection = 0;
        if (!integer(colId, r.id) || !integer(colMethod, method) || !integer(colKind, kind) ||
            !integer(colBand, band) || !integer(colNumber, r.number) || !integer(colWorkplace, r.workplace) ||
            !integer(colHeight, r.height) || !integer(colRejection, rejection) || !number(colMValue, r.mvalue) ||
            !number(colMValue2, r.mvalue2) || !number(colEValue, r.evalue) || !number(colEValue2, r.evalue2))
            return false;
        if (sqlite3_column_type(raw, at[colTime]) != SQLITE_TEXT) return false;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, at[colTime]));
        if (!text) return false;
        const std::string_view time(text, std::strlen(text));  // up to the stored zero byte
        for (const char c : time)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        try {
            r.time = ParseStoredTime(time);
        } catch (const Exception&) {
            return false;
        }
        r.band = static_cast<std::uint8_t>(band);
        r.rejection = static_cast<std::uint8_t>(rejection);
        r.kind = static_cast<std::uint8_t>(kind);
        if (method >= 0 && method < kMethodCount && kind >= 0 && kind < kKindCount)
            staged[static_cast<std::size_t>(method * kKindCount + kind)].push_back(r);
        else
            ++outside;
    }
    skipped = outside;
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k) {
            std::vector<TMeasureRecord>& rows = staged[static_cast<std::size_t>(m * kKindCount + k)];
            if (rows.empty()) continue;
            TMeasureSeries& series = Data(m, k);
            series.method = static_cast<std::uint8_t>(m);
            if (series.Records.empty())
                series.Records = std::move(rows);
            else
                series.Records.insert(series.Records.end(), rows.begin(), rows.end());
        }
    return true;
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
    const auto table = connection.get().Query(sql);
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
        r.mvalue = FloatCell(*table, cMValue);
        r.mvalue2 = FloatCell(*table, cMValue2);
        r.evalue = FloatCell(*table, cEValue);
        r.evalue2 = FloatCell(*table, cEValue2);
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
