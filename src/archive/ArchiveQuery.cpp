#include "archive/ArchiveQuery.h"

#include "archive/PgConnection.h"
#include "storage/StoredTimes.h"

namespace zorvex::archive {
namespace {

TPgParam OptionalInt(const std::optional<std::int64_t>& v) { return v ? TPgParam::Integer(*v) : TPgParam(); }

}  // namespace

std::optional<std::string> DayStart(std::optional<TDateTime> day) {
    if (!day) return std::nullopt;
    return StoredTime(DateOf(*day));
}

std::optional<std::string> DayAfter(std::optional<TDateTime> day) {
    if (!day) return std::nullopt;
    // The archive's timestamps reach past 9999: the day after always exists there.
    const DateParts d = DecodeDate(*day);
    if (d.year == 9999 && d.month == 12 && d.day == 31) return std::string("10000-01-01 00:00:00");
    return StoredTime(DateOf(*day) + 1);
}

std::vector<TArchiveRecord> ListArchiveMeasurements(TPgConnection& conn, const TArchiveFilter& filter) {
    // Null parameters switch their condition off; the server plans the
    // statement with the values given, so a day's range uses the time index.
    const TPgResult r = conn.Exec(
        "select m.id, m.method, m.kind, m.number, m.workplace, m.height, "
        "to_char(m.time, 'YYYY-MM-DD HH24:MI:SS'), m.mvalue, m.evalue, m.mvalue2, m.evalue2, m.band, m.rejection, "
        "m.workstation, w.host, m.serialnumber from measurements m join workstations w on w.id = m.workstation "
        "where ($1::timestamp is null or m.time >= $1::timestamp) and ($2::timestamp is null or m.time < $2::timestamp) "
        "and ($3::smallint is null or m.method = $3::smallint) and ($4::smallint is null or m.kind = $4::smallint) "
        "and ($5::text is null or m.workstation = $5::text or w.host = $5::text) "
        "and ($6::integer is null or m.serialnumber = $6::integer) "
        "order by m.method, m.kind, m.time, m.id",
        {DayStart(filter.from), DayAfter(filter.to), OptionalInt(filter.method), OptionalInt(filter.kind),
         filter.workstation, OptionalInt(filter.serial)});
    std::vector<TArchiveRecord> records;
    records.reserve(static_cast<std::size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i) {
        TArchiveRecord a;
        a.method = static_cast<int>(r.Int(i, 1));
        TMeasureRecord& m = a.record;
        m.id = static_cast<std::int32_t>(r.Int(i, 0));
        m.kind = static_cast<std::uint8_t>(r.Int(i, 2));
        m.number = static_cast<std::int32_t>(r.Int(i, 3));
        m.workplace = static_cast<std::int32_t>(r.Int(i, 4));
        m.height = static_cast<std::int32_t>(r.Int(i, 5));
        m.time = ParseStoredTime(r.Text(i, 6));
        m.mvalue = r.Float(i, 7);
        m.evalue = r.Float(i, 8);
        m.mvalue2 = r.Float(i, 9);
        m.evalue2 = r.Float(i, 10);
        m.band = static_cast<std::uint8_t>(r.Int(i, 11));
        m.rejection = static_cast<std::uint8_t>(r.Int(i, 12));
        a.workstation = r.Text(i, 13);
        a.host = r.Text(i, 14);
        a.serial = r.OptionalInt(i, 15);
        records.push_back(std::move(a));
    }
    return records;
}

std::vector<TArchiveProtocol> ListArchiveProtocols(TPgConnection& conn, std::optional<TDateTime> from,
                                                   std::optional<TDateTime> to,
                                                   const std::optional<std::string>& organisation) {
    const TPgResult r = conn.Exec(
        "select p.id, p.number_text, p.date_text, p.org, p.workstation, w.host, p.username, "
        "(select count(*) from protocol_measurements pm where pm.protocol = p.id) from protocols p "
        "join workstations w on w.id = p.workstation "
        "where ($1::timestamp is null or p.date >= $1::timestamp) and ($2::timestamp is null or p.date < $2::timestamp) "
        "and ($3::text is null or strpos(lower(p.org), lower($3::text)) > 0) order by p.date, p.id",
        {DayStart(from), DayAfter(to), organisation});
    std::vector<TArchiveProtocol> list;
    for (int i = 0; i < r.Rows(); ++i)
        list.push_back({r.Int(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4), r.Text(i, 5),
                        r.Text(i, 6), r.Int(i, 7)});
    return list;
}

}  // namespace zorvex::archive
