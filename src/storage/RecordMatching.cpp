#include "storage/RecordMatching.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex {
namespace {

// Stored seconds per lookup through the time index.
constexpr std::size_t kTimesPerIndexedQuery = 400;

using RecordKey = std::tuple<int, int, std::string, std::int32_t, int, int, double, double, double, double>;

RecordKey KeyOf(const TRecordRef& ref) {
    const TMeasureRecord& r = *ref.record;
    return {ref.method,  ref.kind, StoredTime(r.time), r.number,  r.band,
            r.rejection, r.mvalue, r.evalue,           r.mvalue2, r.evalue2};
}

// SQLite keeps a NaN as null, so a record holding one equals no stored row.
bool Comparable(const TMeasureRecord& r) {
    return !std::isnan(r.mvalue) && !std::isnan(r.evalue) && !std::isnan(r.mvalue2) && !std::isnan(r.evalue2) &&
           !std::isnan(r.time);
}

// Stored rows by key, lowest id first.
using StoredRows = std::map<RecordKey, std::deque<TStoredRow>>;

// Loads the stored rows at the records' seconds. Through the time index each
// second is a seek, so a full memory against a large table reads only its own
// rows; in an old database not yet given the index each query is a scan, so
// one query takes as many seconds as the connection has parameters for.
StoredRows LoadStoredRows(TSQLiteDatabase& db, const std::vector<TRecordRef>& refs) {
    std::set<std::string> seconds;
    for (const auto& ref : refs)
        if (Comparable(*ref.record)) seconds.insert(StoredTime(ref.record->time));
    StoredRows rows;
    const std::vector<std::string> all(seconds.begin(), seconds.end());
    const std::size_t perQuery = HasSchemaObject(db, "index", kMeasurementTimeIndex)
                                     ? kTimesPerIndexedQuery
                                     : static_cast<std::size_t>(std::max(1, db.MaxParameters()));
    for (std::size_t from = 0; from < all.size(); from += perQuery) {
        // The program stores each time with a zero byte after its seconds, as
        // a bound text carries it; a row another tool wrote may lack it, and a
        // literal matches that form. The texts are digits and separators only.
        std::string list;
        TSQLiteParams params;
        for (std::size_t i = from; i < std::min(all.size(), from + perQuery); ++i) {
            list += (i == from ? "?, '" : ", ?, '") + all[i] + "'";
            params.push_back(all[i]);
        }
        // The values are read as numbers, exactly: their text has 15 digits only.
        const auto table = db.Query(
            "select id, method, kind, number, band, rejection, time, workplace, height, cast(mvalue as real), "
            "cast(evalue as real), cast(mvalue2 as real), cast(evalue2 as real) from measurements where time in (" +
                list + ")",
            params);
        for (; !table->AtEnd(); table->MoveNext()) {
            const auto id = TryStrToInt(table->TextAt(0));
            const auto method = TryStrToInt(table->TextAt(1));
            const auto kind = TryStrToInt(table->TextAt(2));
            const auto band = TryStrToInt(table->TextAt(4));
            const auto mvalue = table->FloatAt(9), evalue = table->FloatAt(10), mvalue2 = table->FloatAt(11),
                       evalue2 = table->FloatAt(12);
            if (!id || !method || !kind || !band || !mvalue || !evalue || !mvalue2 || !evalue2) continue;
            // As the measurement store reads them: text that is no number counts as 0.
            RecordKey key{*method,
                          *kind,
                          table->TextAt(6),
                          StrToIntDef(table->TextAt(3), 0),
                          *band,
                          StrToIntDef(table->TextAt(5), 0),
                          *mvalue,
                          *evalue,
                          *mvalue2,
                          *evalue2};
            rows[std::move(key)].push_back({*id, StrToIntDef(table->TextAt(7), 0), StrToIntDef(table->TextAt(8), 0)});
        }
    }
    for (auto& [key, stored] : rows)
        std::sort(stored.begin(), stored.end(), [](const TStoredRow& a, const TStoredRow& b) { return a.id < b.id; });
    return rows;
}

}  // namespace

std::vector<TRecordRef> RecordsInStoreOrder(const TMeasureDataP& data) {
    std::vector<TRecordRef> refs;
    refs.reserve(data.TotalRecords());
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind)
            for (const auto& r : data(method, kind).Records) refs.push_back({method, kind, &r});
    return refs;
}

std::vector<std::optional<TStoredRow>> MatchStoredRows(TSQLiteDatabase& db, const std::vector<TRecordRef>& records) {
    StoredRows stored = LoadStoredRows(db, records);
    std::vector<std::optional<TStoredRow>> matches(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!Comparable(*records[i].record)) continue;
        const auto found = stored.find(KeyOf(records[i]));
        if (found == stored.end() || found->second.empty()) continue;
        matches[i] = found->second.front();
        found->second.pop_front();
    }
    return matches;
}

// Names are the program's own constants, written into the SQL: a bound text
// carries a zero byte and would never equal the schema's names.
bool HasSchemaObject(TSQLiteDatabase& db, const char* type, const char* name) {
    return db.ScalarInt(std::string("select count(*) from sqlite_master where type = '") + type + "' and name = '" +
                        name + "'") > 0;
}

}  // namespace zorvex
