#include "archive/ArchivePull.h"

#include "archive/ArchivePush.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "archive/LocalStatement.h"
#include "archive/PgConnection.h"
#include "archive/Workstation.h"
#include "base/Exceptions.h"
#include "protocol/ProtocolStore.h"
#include "base/Numbers.h"
#include "storage/AuditLog.h"
#include "storage/DBDataAdapter.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex::archive {
namespace {

TMeasureRecord RecordOfRow(const TPgResult& r, int row, int first) {
    TMeasureRecord m;
    m.kind = static_cast<std::uint8_t>(r.Int(row, first + 1));
    m.number = static_cast<std::int32_t>(r.Int(row, first + 2));
    m.workplace = static_cast<std::int32_t>(r.Int(row, first + 3));
    m.height = static_cast<std::int32_t>(r.Int(row, first + 4));
    m.time = ParseStoredTime(r.Text(row, first + 5));
    m.mvalue = r.Float(row, first + 6);
    m.evalue = r.Float(row, first + 7);
    m.mvalue2 = r.Float(row, first + 8);
    m.evalue2 = r.Float(row, first + 9);
    m.band = static_cast<std::uint8_t>(r.Int(row, first + 10));
    m.rejection = static_cast<std::uint8_t>(r.Int(row, first + 11));
    return m;
}

constexpr const char* kRecordColumns =
    "method, kind, number, workplace, height, to_char(time, 'YYYY-MM-DD HH24:MI:SS'), mvalue, evalue, mvalue2, "
    "evalue2, band, rejection";

// Whether data.db holds the archive row (workstation, local id) already.
bool HeldLocally(TSQLiteDatabase& db, const std::string& ownWorkstation, const std::string& workstation,
                 std::int64_t localId, const char* table, const char* originTable, const char* originKey) {
    if (workstation == ownWorkstation) {
        TLocalStatement own(db, std::string("select count(*) from ") + table + " where id = ?1 and id not in (select " +
                                    originKey + " from " + originTable + ")");
        own.BindInt(1, localId);
        own.Step();
        if (own.Int(0).value_or(0) > 0) return true;
    }
    TLocalStatement pulled(db, std::string("select count(*) from ") + originTable +
                                   " where workstation = ?1 and sourceid = ?2");
    pulled.BindText(1, workstation);
    pulled.BindInt(2, localId);
    pulled.Step();
    return pulled.Int(0).value_or(0) > 0;
}

}  // namespace

TPullOutcome PullProtocol(TPgConnection& conn, TSQLiteDatabase& db, std::int64_t archiveProtocol) {
    const std::string archiveId = CheckArchive(conn);
    const TPgResult p = conn.Exec(
        "select workstation, local_id, number_text, date_text, consts, tabdata, has_file from protocols where id = $1",
        {TPgParam::Integer(archiveProtocol)});
    if (p.Rows() == 0) throw EArchiveError("В архиве нет протокола с номером записи " + std::to_string(archiveProtocol));
    const std::string workstation = p.Text(0, 0);
    const std::int64_t sourceId = p.Int(0, 1);
    const std::string number = p.Text(0, 2), date = p.Text(0, 3), consts = p.Text(0, 4), tabdata = p.Text(0, 5);
    const bool hasFile = p.Text(0, 6) == "t";
    const TPgResult rows = conn.Exec(std::string("select ") + kRecordColumns +
                                         " from protocol_measurements where protocol = $1 order by position",
                                     {TPgParam::Integer(archiveProtocol)});
    TMeasureDataP measurements;
    measurements.SetMethodBytes();
    for (int i = 0; i < rows.Rows(); ++i) {
        const auto method = static_cast<int>(rows.Int(i, 0));
        const TMeasureRecord m = RecordOfRow(rows, i, 0);
        if (method >= 0 && method < kMethodCount && m.kind < kKindCount) measurements(method, m.kind).Records.push_back(m);
    }

    const TWorkstation own = LocalWorkstation(db);
    TPullOutcome outcome;
    if (HeldLocally(db, own.id, workstation, sourceId, "protocols", "archiveoriginprotocols", "protocol")) {
        outcome.alreadyHere = 1;
        return outcome;
    }
    std::int32_t id = 0;
    db.RunInTransaction([&] {
        db.Execute("insert into protocols (number, date, consts, tabdata) values(?,?,?,?)",
                   {number, date, consts, tabdata});
        id = static_cast<std::int32_t>(db.LastRowId());
        AppendAudit(db, {audit::kProtocolInsert, "protocols", IntToStr(id), "", std::nullopt,
                         JsonObject({{"number", JsonQuoted(number)},
                                     {"date", JsonQuoted(date)},
                                     {"consts", JsonQuoted(consts)},
                                     {"tabdata", JsonQuoted(tabdata)},
                                     {"archive", JsonQuoted(archiveId)},
                                     {"archiveprotocol", IntToStr(archiveProtocol)}})});
        db.Execute("insert into archiveoriginprotocols (protocol, workstation, sourceid) values(?,?,?)",
                   {id, workstation, static_cast<std::int32_t>(sourceId)});
        // It is what the archive holds: no need to send it back unless it changes.
        db.Execute("insert or replace into archivesentprotocols (archive, protocol, digest) values(?,?,?)",
                   {archiveId, id, ProtocolDigest(number, date, consts, tabdata, measurements, hasFile)});
    });
    if (hasFile) {
        // A file that cannot be written leaves no protocol and no notes behind.
        const auto forget = [&] {
            db.RunInTransaction([&] {
                db.Execute("delete from archiveoriginprotocols where protocol = ?", {id});
                db.Execute("delete from archivesentprotocols where protocol = ?", {id});
            });
            if (db.ScalarInt("select count(*) from protocols where id = ?", {id}) > 0) DeleteProtocol(id);
        };
        std::int32_t written = id;
        TFileOutcome fileOutcome;
        try {
            fileOutcome = WriteProtocolFile(written, true, measurements);
        } catch (...) {
            forget();
            throw;
        }
        if (fileOutcome != TFileOutcome::Written) {
            forget();
            throw EArchiveError("Протокол не получен: его файл не записан");
        }
    }
    outcome.added = 1;
    outcome.localProtocolId = id;
    return outcome;
}

TPullOutcome PullMeasurements(TPgConnection& conn, TSQLiteDatabase& db, std::optional<TDateTime> firstDay,
                              std::optional<TDateTime> lastDay) {
    const std::string archiveId = CheckArchive(conn);
    const TPgResult r = conn.Exec(
        std::string("select workstation, local_id, ") + kRecordColumns +
            " from measurements where ($1::timestamp is null or time >= $1::timestamp) and "
            "($2::timestamp is null or time < $2::timestamp) order by time, id",
        {DayStart(firstDay), DayAfter(lastDay)});
    const TWorkstation own = LocalWorkstation(db);
    TPullOutcome outcome;
    db.RunInTransaction([&] {
        TLocalStatement ownRow(db, "select count(*) from measurements where id = ?1 and id not in "
                                   "(select measurement from archiveorigin)");
        TLocalStatement origin(db, "select count(*) from archiveorigin where workstation = ?1 and sourceid = ?2");
        std::vector<int> toAdd;
        for (int i = 0; i < r.Rows(); ++i) {
            const std::string workstation = r.Text(i, 0);
            const std::int64_t localId = r.Int(i, 1);
            bool held = false;
            if (workstation == own.id) {
                ownRow.Reset();
                ownRow.BindInt(1, localId);
                ownRow.Step();
                held = ownRow.Int(0).value_or(0) > 0;
            }
            if (!held) {
                origin.Reset();
                origin.BindText(1, workstation);
                origin.BindInt(2, localId);
                origin.Step();
                held = origin.Int(0).value_or(0) > 0;
            }
            if (held) ++outcome.alreadyHere;
            else toAdd.push_back(i);
        }
        CheckMeasurementIdsLeft(db, static_cast<std::int64_t>(toAdd.size()));
        TLocalStatement insert(db, kInsertMeasurementSql);
        std::int64_t firstId = 0, lastId = 0;
        TLocalStatement note(db, "insert into archiveorigin (measurement, workstation, sourceid) values (?1, ?2, ?3)");
        TLocalStatement sent(db, "insert or replace into archivesent (archive, measurement, workplace, height) "
                                 "values (?1, ?2, ?3, ?4)");
        for (const int i : toAdd) {
            const auto method = static_cast<int>(r.Int(i, 2));
            const TMeasureRecord m = RecordOfRow(r, i, 2);
            insert.Reset();
            insert.BindInt(1, method);
            insert.BindInt(2, m.kind);
            insert.BindInt(3, m.number);
            insert.BindInt(4, m.workplace);
            insert.BindInt(5, m.height);
            insert.BindText(6, StoredTime(m.time));
            insert.BindFloat(7, m.mvalue);
            insert.BindFloat(8, m.mvalue2);
            insert.BindFloat(9, m.evalue);
            insert.BindFloat(10, m.evalue2);
            insert.BindInt(11, m.band);
            insert.BindInt(12, m.rejection);
            insert.Step();
            const std::int64_t localId = db.LastRowId();
            note.Reset();
            note.BindInt(1, localId);
            note.BindText(2, r.Text(i, 0));
            note.BindInt(3, r.Int(i, 1));
            note.Step();
            sent.Reset();
            sent.BindText(1, archiveId);
            sent.BindInt(2, localId);
            sent.BindInt(3, m.workplace);
            sent.BindInt(4, m.height);
            sent.Step();
            if (outcome.added == 0) firstId = localId;
            lastId = localId;
            ++outcome.added;
        }
        // Stored not from a download: the audit log says what came, and from where.
        if (outcome.added > 0)
            AppendAudit(db, {audit::kImport, "measurements", IntToStr(firstId) + "-" + IntToStr(lastId), "",
                             std::nullopt,
                             JsonObject({{"count", IntToStr(outcome.added)},
                                         {"firstid", IntToStr(firstId)},
                                         {"lastid", IntToStr(lastId)},
                                         {"archive", JsonQuoted(archiveId)}})});
    });
    return outcome;
}

}  // namespace zorvex::archive
