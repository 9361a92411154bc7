#include "storage/RecordMatching.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
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

// How far apart the two links may give one value, relative to it. The driver
// link's three-byte code keeps 15 bits of fraction, so it lies within one unit
// of its last place, at most 2^-15 of the value, whichever way the meter
// rounds; the USB link's single float, scaled in double, adds a few units of
// 2^-24.
constexpr double kLinkTolerance = 0x1.0p-15 + 0x1.0p-22;

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

bool SameValue(double a, double b) {
    const bool absentA = a == kAbsentValue, absentB = b == kAbsentValue;
    if (absentA || absentB) return absentA == absentB;
    // Below the smallest normal float both links give no usable figure.
    return std::fabs(a - b) <= kLinkTolerance * std::max(std::fabs(a), std::fabs(b)) +
                                   static_cast<double>(std::numeric_limits<float>::min());
}

// A row at one of the records' seconds.
struct Candidate {
    TStoredRow row;
    RecordKey key;
    std::string origin;  // link of its first download; empty for none
    bool taken = false;
};

// Loads the rows at the records' seconds, lowest id first. Through the time
// index each second is a seek, so a full memory against a large table reads
// only its own rows; in an old database not yet given the index each query is
// a scan, so one query takes as many seconds as the connection has parameters
// for.
std::vector<Candidate> LoadCandidates(TSQLiteDatabase& db, const std::vector<TRecordRef>& refs) {
    std::set<std::string> seconds;
    for (const auto& ref : refs)
        if (Comparable(*ref.record)) seconds.insert(StoredTime(ref.record->time));
    std::vector<Candidate> rows;
    const std::vector<std::string> all(seconds.begin(), seconds.end());
    const std::size_t perQuery = HasSchemaObject(db, "index", kMeasurementTimeIndex)
                                     ? kTimesPerIndexedQuery
                                     : static_cast<std::size_t>(std::max(1, db.MaxParameters()));
    const bool haveDownloads =
        HasSchemaObject(db, "table", "downloads") && HasSchemaObject(db, "table", "downloadrecords");
    const std::string origin = haveDownloads ? ", (select d.link from downloadrecords x join downloads d on d.id = "
                                               "x.download where x.measurement = measurements.id order by x.download "
                                               "limit 1)"
                                             : "";
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
            "cast(evalue as real), cast(mvalue2 as real), cast(evalue2 as real)" +
                origin + " from measurements where time in (" + list + ")",
            params, TSQLiteTable::DeclaredTypes::LowerCase);  // as the store reads them: 'abc' is no method 0
        for (; !table->AtEnd(); table->MoveNext()) {
            const auto id = TryStrToInt(table->TextAt(0));
            const auto method = TryStrToInt(table->TextAt(1));
            const auto kind = TryStrToInt(table->TextAt(2));
            const auto band = TryStrToInt(table->TextAt(4));
            const auto mvalue = table->FloatAt(9), evalue = table->FloatAt(10), mvalue2 = table->FloatAt(11),
                       evalue2 = table->FloatAt(12);
            if (!id || !method || !kind || !band || !mvalue || !evalue || !mvalue2 || !evalue2) continue;
            Candidate c;
            // As the measurement store reads them: text that is no number counts as 0.
            c.row.id = *id;
            c.row.number = StrToIntDef(table->TextAt(3), 0);
            c.row.band = *band;
            c.row.rejection = StrToIntDef(table->TextAt(5), 0);
            c.row.workplace = StrToIntDef(table->TextAt(7), 0);
            c.row.height = StrToIntDef(table->TextAt(8), 0);
            c.row.mvalue = *mvalue;
            c.row.evalue = *evalue;
            c.row.mvalue2 = *mvalue2;
            c.row.evalue2 = *evalue2;
            c.key = RecordKey{*method,         *kind,        table->TextAt(6), c.row.number,  c.row.band,
                              c.row.rejection, c.row.mvalue, c.row.evalue,     c.row.mvalue2, c.row.evalue2};
            if (haveDownloads) c.origin = table->TextAt(13);
            rows.push_back(std::move(c));
        }
    }
    std::sort(rows.begin(), rows.end(), [](const Candidate& a, const Candidate& b) { return a.row.id < b.row.id; });
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

bool SameAcrossLinks(int method, int kind, const TMeasureRecord& record, const TStoredRow& row) {
    if (record.rejection != row.rejection) return false;
    // The USB link gives every monitoring record band 0, whatever the meter measured in.
    if (method == kMethodSingle && record.band != row.band) return false;
    const bool magnetic = kind == kKind50Hz || kind == kKindSvtMagnetic || kind == kKindMagnetic;
    const bool electric = kind == kKind50Hz || kind == kKindSvtElectric || kind == kKindElectric;
    return (!magnetic || SameValue(record.mvalue, row.mvalue)) && (!electric || SameValue(record.evalue, row.evalue));
}

std::vector<std::optional<TStoredRow>> MatchStoredRows(TSQLiteDatabase& db, const std::vector<TRecordRef>& records,
                                                       std::string_view link) {
    std::vector<Candidate> rows = LoadCandidates(db, records);
    std::map<RecordKey, std::deque<std::size_t>> equal;
    for (std::size_t i = 0; i < rows.size(); ++i) equal[rows[i].key].push_back(i);

    std::vector<std::optional<TStoredRow>> matches(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!Comparable(*records[i].record)) continue;
        const auto found = equal.find(KeyOf(records[i]));
        if (found == equal.end() || found->second.empty()) continue;
        Candidate& c = rows[found->second.front()];
        found->second.pop_front();
        c.taken = true;
        matches[i] = c.row;
    }
    if (link.empty()) return matches;

    // The records still without a row, against the free rows of the other link at their second.
    std::map<std::tuple<int, int, std::string>, std::vector<std::size_t>> atSecond;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].taken && !rows[i].origin.empty() && rows[i].origin != link)
            atSecond[{std::get<0>(rows[i].key), std::get<1>(rows[i].key), std::get<2>(rows[i].key)}].push_back(i);
    if (atSecond.empty()) return matches;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const TRecordRef& ref = records[i];
        if (matches[i] || !Comparable(*ref.record)) continue;
        const auto found = atSecond.find({ref.method, ref.kind, StoredTime(ref.record->time)});
        if (found == atSecond.end()) continue;
        for (const std::size_t at : found->second) {
            Candidate& c = rows[at];
            if (c.taken || !SameAcrossLinks(ref.method, ref.kind, *ref.record, c.row)) continue;
            c.taken = true;
            matches[i] = c.row;
            break;
        }
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
