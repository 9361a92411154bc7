#include "archive/ArchivePush.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

#include "archive/ArchiveSchema.h"
#include "archive/AuditPush.h"
#include "archive/LocalStatement.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Hex.h"
#include "base/Paths.h"
#include "protocol/ProtocolStore.h"
#include "storage/AuditLog.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex::archive {
namespace {
namespace fs = std::filesystem;

constexpr std::int64_t kRowsPerCopy = 50000;

// Measurements that are new to the archive or whose notes changed since they
// went; every row when the archive has lost what it was sent (restored from
// an older backup).
constexpr const char* kChangedMeasurementsSql =
    "select m.id, m.number, m.workplace, m.height, m.method, m.kind, m.time, m.mvalue, m.evalue, m.mvalue2, "
    "m.evalue2, m.band, m.rejection, o.workstation, o.sourceid, %SERIAL% from measurements m "
    "left join archivesent s on s.archive = ?1 and s.measurement = m.id "
    "left join archiveorigin o on o.measurement = m.id "
    "where m.id > ?3 and (?2 or s.measurement is null or s.workplace is not m.workplace or s.height is not m.height) "
    "order by m.id limit ?4";
// The meter of a measurement: the newest download that brought it.
constexpr const char* kSerialSql =
    "(select d.serialnumber from downloadrecords r join downloads d on d.id = r.download "
    "where r.measurement = m.id order by d.id desc limit 1)";

constexpr const char* kCreatePushTable =
    "create temporary table push_measurements (workstation text, local_id integer, number integer, "
    "workplace integer, height integer, method smallint, kind smallint, time timestamp, mvalue double precision, "
    "evalue double precision, mvalue2 double precision, evalue2 double precision, band smallint, rejection smallint, "
    "serialnumber integer) on commit drop";
constexpr const char* kCopyPushTable = "copy push_measurements from stdin";
// In key order, so that two pushes of the same rows take their locks in the
// same order and one waits for the other instead of deadlocking.
constexpr const char* kMergeMeasurements =
    "with merged as (insert into measurements (workstation, local_id, number, workplace, height, method, kind, time, "
    "mvalue, evalue, mvalue2, evalue2, band, rejection, serialnumber) "
    "select workstation, local_id, number, workplace, height, method, kind, time, mvalue, evalue, mvalue2, evalue2, "
    "band, rejection, serialnumber from push_measurements order by workstation, local_id "
    "on conflict (workstation, local_id) do update set workplace = excluded.workplace, height = excluded.height, "
    "serialnumber = coalesce(measurements.serialnumber, excluded.serialnumber), pushed = now() "
    "where measurements.workplace is distinct from excluded.workplace "
    "or measurements.height is distinct from excluded.height returning (xmax = 0) as added) "
    "select count(*) filter (where added), count(*) filter (where not added) from merged";

struct SentMeasurement {
    std::int64_t id;
    std::int64_t workplace, height;
};

std::string Hex64(std::uint64_t v) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 15];
    return s;
}

class Fnv64 {
public:
    void Add(std::string_view text) {
        for (const char c : text) {
            hash_ ^= static_cast<unsigned char>(c);
            hash_ *= 1099511628211ull;
        }
        Add1(0x1f);
    }
    std::uint64_t Value() const { return hash_; }

private:
    void Add1(unsigned char c) {
        hash_ ^= c;
        hash_ *= 1099511628211ull;
    }
    std::uint64_t hash_ = 14695981039346656037ull;
};

std::string Num(double v) { return *TPgParam::Float(v).value; }

// One protocol measurement as a COPY row after its protocol id and position.
std::string ProtocolMeasurementFields(int method, const TMeasureRecord& r) {
    return std::to_string(method) + "\t" + std::to_string(r.kind) + "\t" + std::to_string(r.number) + "\t" +
           std::to_string(r.workplace) + "\t" + std::to_string(r.height) + "\t" + StoredTime(r.time) + "\t" +
           Num(r.mvalue) + "\t" + Num(r.evalue) + "\t" + Num(r.mvalue2) + "\t" + Num(r.evalue2) + "\t" +
           std::to_string(r.band) + "\t" + std::to_string(r.rejection);
}

bool Report(const TPushCallback& progress, const std::string& stage, std::int64_t done, std::int64_t total) {
    return !progress || progress({stage, done, total});
}

void CheckGoOn(const TPushCallback& progress, const std::string& stage, std::int64_t done, std::int64_t total) {
    if (!Report(progress, stage, done, total)) throw EArchiveStopped();
}

std::optional<TDateTime> TryStoredTime(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    try {
        return ParseStoredTime(*text);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

std::optional<std::string> ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}


class Pusher {
public:
    Pusher(TPgConnection& conn, TSQLiteDatabase& db, const TPushCallback& progress)
        : conn_(conn), db_(db), progress_(progress) {}

    TPushReport Run() {
        archiveId_ = CheckArchive(conn_);
        report_.workstation = LocalWorkstation(db_);
        report_.archiveTarget = conn_.Target();
        const std::string& ws = report_.workstation.id;
        CheckGoOn(progress_, "Подключение", 0, 0);
        RunInPgTransaction(conn_, [&] {
            conn_.Exec(
                "insert into workstations (id, host, username) values ($1, $2, $3) on conflict (id) do update set "
                "host = excluded.host, username = excluded.username, last_push = now()",
                {ws, report_.workstation.host, report_.workstation.user});
            DecideWhetherMarksHold();
            PushMeasurements();
            if (HasSchemaObject(db_, "table", "downloads") && HasSchemaObject(db_, "table", "downloadrecords"))
                PushDownloads();
            PushProtocols();
            report_.auditLogFound = HasAuditLog(db_);
            if (report_.auditLogFound) auditSent_ = PushAuditLog(conn_, db_, ws, archiveId_, report_.auditEntries);
            CheckGoOn(progress_, "Завершение", 0, 0);
        });
        NoteWhatWent();
        return report_;
    }

private:
    // Marks in data.db say what the archive holds; an archive restored from
    // an older backup holds less, and then everything goes again.
    void DecideWhetherMarksHold() {
        const std::string& ws = report_.workstation.id;
        const TPgResult held = conn_.Exec(
            "select (select count(*) from measurements where workstation = $1), "
            "(select count(*) from downloads where workstation = $1), "
            "(select count(*) from protocols where workstation = $1)",
            {ws});
        TLocalStatement marks(db_,
                              "select (select count(*) from archivesent where archive = ?1 and measurement not in "
                              "(select measurement from archiveorigin)), "
                              "(select count(*) from archivesentdownloads where archive = ?1), "
                              "(select count(*) from archivesentprotocols where archive = ?1 and protocol not in "
                              "(select protocol from archiveoriginprotocols))");
        marks.BindText(1, archiveId_);
        marks.Step();
        ignoreMarks_ = held.Int(0, 0) < marks.Int(0).value_or(0) || held.Int(0, 1) < marks.Int(1).value_or(0) ||
                       held.Int(0, 2) < marks.Int(2).value_or(0);
    }

    // The rows of one batch: this workstation's, which go straight into the
    // table when the archive lacks them, and those that are merged.
    struct Batch {
        std::vector<std::int64_t> ownIds;
        std::vector<std::string> ownRows;
        std::string merged;
    };

    // This workstation's rows are its own: while the push holds the
    // workstation's row (locked since the start of the transaction) no other
    // push adds any, so those the archive lacks are copied in as they are; the
    // others, and rows of other workstations pulled here, are merged.
    void SendBatch(Batch& batch) {
        if (!batch.ownIds.empty()) {
            std::string ids = "{";
            for (std::size_t i = 0; i < batch.ownIds.size(); ++i) ids += (i ? "," : "") + std::to_string(batch.ownIds[i]);
            ids += "}";
            const TPgResult held = conn_.Exec(
                "select local_id from measurements where workstation = $1 and local_id = any($2::integer[])",
                {report_.workstation.id, ids});
            std::set<std::int64_t> existing;
            for (int i = 0; i < held.Rows(); ++i) existing.insert(held.Int(i, 0));
            std::string fresh;
            for (std::size_t i = 0; i < batch.ownIds.size(); ++i) {
                if (existing.count(batch.ownIds[i])) {
                    batch.merged += batch.ownRows[i];
                } else {
                    fresh += batch.ownRows[i];
                    ++report_.measurementsAdded;
                }
            }
            if (!fresh.empty())
                conn_.CopyIn(
                    "copy measurements (workstation, local_id, number, workplace, height, method, kind, time, mvalue, "
                    "evalue, mvalue2, evalue2, band, rejection, serialnumber) from stdin",
                    fresh);
        }
        if (!batch.merged.empty()) conn_.CopyIn(kCopyPushTable, batch.merged);
        batch = Batch();
    }

    // One row of the scan as a COPY row of push_measurements, or counted as unreadable.
    void AddMeasurementRow(const TLocalStatement& rows, Batch& batch) {
        const std::string& ws = report_.workstation.id;
        const auto id = rows.Int(0), method = rows.Int(4), kind = rows.Int(5), band = rows.Int(11);
        const auto time = TryStoredTime(rows.Text(6));
        const auto mvalue = rows.Float(7), evalue = rows.Float(8), mvalue2 = rows.Float(9), evalue2 = rows.Float(10);
        if (!id || !method || !kind || !band || !time || !mvalue || !evalue || !mvalue2 || !evalue2 || *method < 0 ||
            *method >= kMethodCount || *kind < 0 || *kind >= kKindCount || *id <= 0) {
            ++report_.unreadableRows;
            return;
        }
        const std::int64_t workplace = rows.Int(2).value_or(0), height = rows.Int(3).value_or(0);
        const auto originWs = rows.Text(13);
        const auto originId = rows.Int(14);
        const bool pulled = originWs && originId;
        std::string line = EscapeCopy(pulled ? *originWs : ws);
        line += '\t' + std::to_string(pulled ? *originId : *id) + '\t' + std::to_string(rows.Int(1).value_or(0)) +
                 '\t' + std::to_string(workplace) + '\t' + std::to_string(height) + '\t' + std::to_string(*method) +
                 '\t' + std::to_string(*kind) + '\t' + StoredTime(*time) + '\t' + Num(*mvalue) + '\t' + Num(*evalue) +
                 '\t' + Num(*mvalue2) + '\t' + Num(*evalue2) + '\t' + std::to_string(*band) + '\t' +
                 std::to_string(rows.Int(12).value_or(0)) + '\t';
        const auto serial = rows.Int(15);
        line += serial ? std::to_string(*serial) : kCopyNull;
        line += '\n';
        if (pulled) {
            batch.merged += line;
        } else {
            batch.ownIds.push_back(*id);
            batch.ownRows.push_back(std::move(line));
        }
        sentMeasurements_.push_back({*id, workplace, height});
    }

    void PushMeasurements() {
        const std::string& ws = report_.workstation.id;
        const bool withSerial = HasSchemaObject(db_, "table", "downloads") && HasSchemaObject(db_, "table", "downloadrecords");
        std::string sql = kChangedMeasurementsSql;
        sql.replace(sql.find("%SERIAL%"), 8, withSerial ? kSerialSql : "null");
        std::int64_t total = 0;
        {
            std::string countSql = kChangedMeasurementsSql;
            countSql.replace(countSql.find("%SERIAL%"), 8, "null");
            countSql = "select count(*) from (" + countSql + ")";
            TLocalStatement count(db_, countSql);
            count.BindText(1, archiveId_);
            count.BindInt(2, ignoreMarks_ ? 1 : 0);
            count.BindInt(3, 0);
            count.BindInt(4, -1);
            count.Step();
            total = count.Int(0).value_or(0);
        }
        conn_.Exec(kCreatePushTable);
        // Read in batches, each statement reset before its rows go to the
        // archive: a reader holding data.db while the server waits would keep
        // the window from storing a note.
        TLocalStatement rows(db_, sql);
        Batch batch;
        std::int64_t done = 0, lastId = 0;
        const std::string stage = "Измерения";
        CheckGoOn(progress_, stage, 0, total);
        for (bool more = true; more;) {
            rows.Reset();
            rows.BindText(1, archiveId_);
            rows.BindInt(2, ignoreMarks_ ? 1 : 0);
            rows.BindInt(3, lastId);
            rows.BindInt(4, kRowsPerCopy);
            std::int64_t inBatch = 0;
            while (rows.Step()) {
                ++inBatch;
                if (const auto rowId = rows.Int(0)) lastId = std::max(lastId, *rowId);
                AddMeasurementRow(rows, batch);
            }
            rows.Reset();
            more = inBatch == kRowsPerCopy;
            done += inBatch;
            SendBatch(batch);
            CheckGoOn(progress_, stage, done, total);
        }
        CheckGoOn(progress_, stage, total, total);
        // Rows of other workstations, pulled here earlier, need their workstation in the archive.
        conn_.Exec(
            "insert into workstations (id, host, username) select distinct workstation, '', '' from "
            "push_measurements where workstation <> $1 on conflict (id) do nothing",
            {ws});
        const TPgResult merged = conn_.Exec(kMergeMeasurements);
        report_.measurementsAdded += merged.Int(0, 0);
        report_.measurementsChanged = merged.Int(0, 1);
    }

    std::optional<std::string> ImageOf(std::int64_t download, const std::optional<std::string>& file) {
        if (file && !file->empty()) {
            const std::string dbFile = db_.FileName();
            if (!dbFile.empty())
                if (auto bytes = ReadFileBytes(PathFromUtf8(dbFile).parent_path() / PathFromUtf8(*file))) return bytes;
        }
        // A download whose image waits in data.db for its file (a program
        // killed right after its commit).
        if (!HasSchemaObject(db_, "table", "downloadimages")) return std::nullopt;
        TLocalStatement pending(db_, "select image from downloadimages where download = ?1");
        pending.BindInt(1, download);
        if (!pending.Step()) return std::nullopt;
        const auto hex = pending.Text(0);
        return hex ? BytesOfHex(*hex) : std::nullopt;
    }

    void PushDownloads() {
        const std::string& ws = report_.workstation.id;
        TLocalStatement list(db_,
                             "select id, time, link, serialnumber, firmware, calibrationdate, added, skipped, imagefile "
                             "from downloads where ?2 or id not in (select download from archivesentdownloads where "
                             "archive = ?1) order by id");
        list.BindText(1, archiveId_);
        list.BindInt(2, ignoreMarks_ ? 1 : 0);
        TLocalStatement links(db_,
                              "select r.measurement, o.workstation, o.sourceid from downloadrecords r left join "
                              "archiveorigin o on o.measurement = r.measurement where r.download = ?1");
        conn_.Exec(
            "create temporary table push_links (download_local integer, workstation text, local_id integer) on commit "
            "drop");
        const bool withFingerprints = HasSchemaObject(db_, "table", kDownloadFingerprintTable);
        TLocalStatement fingerprintOf(db_, withFingerprints
                                               ? "select sha256 from downloadfingerprints where download = ?1"
                                               : "select null where ?1 is null");
        std::string linkRows;
        const std::string stage = "Загрузки из прибора";
        struct Download {
            std::optional<std::int64_t> id, serial, added, skipped;
            std::optional<std::string> time, link, firmware, calibration, imageFile;
        };
        std::vector<Download> pending;
        while (list.Step())
            pending.push_back({list.Int(0), list.Int(3), list.Int(6), list.Int(7), list.Text(1), list.Text(2),
                               list.Text(4), list.Text(5), list.Text(8)});
        list.Reset();
        std::int64_t done = 0;
        for (const Download& d : pending) {
            CheckGoOn(progress_, stage, done++, static_cast<std::int64_t>(pending.size()));
            const auto id = d.id;
            const auto time = TryStoredTime(d.time);
            if (!id || !time) {
                ++report_.unreadableRows;
                continue;
            }
            const auto calibration = TryStoredTime(d.calibration);
            const auto serial = d.serial;
            const auto imageFile = d.imageFile;
            const std::optional<std::string> image = ImageOf(*id, imageFile);
            TPgParam imageParam;
            if (image) imageParam = TPgParam::Bytes(*image);
            // The SHA-256 data.db keeps for the image, where it keeps one; else the archive's own.
            std::optional<std::string> fingerprint;
            if (image && withFingerprints) {
                fingerprintOf.Reset();
                fingerprintOf.BindInt(1, *id);
                if (fingerprintOf.Step()) fingerprint = fingerprintOf.Text(0);
                fingerprintOf.Reset();
            }
            conn_.Exec(
                "insert into downloads (workstation, local_id, time, link, serialnumber, firmware, calibrationdate, "
                "added, skipped, imagefile, image, fingerprint) values ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, "
                "$11::bytea, case when $11::bytea is null then null else coalesce($12, encode(sha256($11::bytea), 'hex')) end) "
                "on conflict (workstation, local_id) do nothing",
                {ws, TPgParam::Integer(*id), StoredTime(*time), d.link.value_or(""),
                 serial ? TPgParam::Integer(*serial) : TPgParam(), d.firmware,
                 calibration ? TPgParam(StoredTime(*calibration)) : TPgParam(),
                 TPgParam::Integer(d.added.value_or(0)), TPgParam::Integer(d.skipped.value_or(0)), imageFile,
                 imageParam, fingerprint});
            links.Reset();
            links.BindInt(1, *id);
            while (links.Step()) {
                const auto measurement = links.Int(0);
                if (!measurement) continue;
                const auto originWs = links.Text(1);
                const auto originId = links.Int(2);
                const bool pulled = originWs && originId;
                linkRows += std::to_string(*id) + '\t' + EscapeCopy(pulled ? *originWs : ws) + '\t' +
                            std::to_string(pulled ? *originId : *measurement) + '\n';
            }
            links.Reset();
            sentDownloads_.push_back(*id);
            ++report_.downloads;
        }
        if (!linkRows.empty()) conn_.CopyIn("copy push_links from stdin", linkRows);
        conn_.Exec(
            "insert into download_records (download, workstation, local_id) select distinct d.id, l.workstation, "
            "l.local_id from push_links l join downloads d on d.workstation = $1 and d.local_id = l.download_local "
            "order by 1, 2, 3 on conflict do nothing",
            {ws});
    }

    void PushProtocols() {
        const std::string& ws = report_.workstation.id;
        std::vector<std::int64_t> ids;
        {
            TLocalStatement list(db_, "select id from protocols order by id");
            while (list.Step())
                if (const auto id = list.Int(0); id && *id > 0 && *id <= INT32_MAX) ids.push_back(*id);
        }
        const std::string stage = "Протоколы";
        std::int64_t done = 0;
        for (const std::int64_t id : ids) {
            CheckGoOn(progress_, stage, done++, static_cast<std::int64_t>(ids.size()));
            TLocalStatement row(db_,
                                "select p.number, p.date, p.consts, p.tabdata, o.workstation, o.sourceid, s.digest from "
                                "protocols p left join archiveoriginprotocols o on o.protocol = p.id left join "
                                "archivesentprotocols s on s.archive = ?1 and s.protocol = p.id where p.id = ?2");
            row.BindText(1, archiveId_);
            row.BindInt(2, id);
            if (!row.Step()) continue;
            const std::string number = row.Text(0).value_or(""), date = row.Text(1).value_or(""),
                              consts = row.Text(2).value_or(""), tabdata = row.Text(3).value_or("");
            const auto originWs = row.Text(4);
            const auto originId = row.Int(5);
            const std::optional<std::string> sentDigest = ignoreMarks_ ? std::nullopt : row.Text(6);
            const bool pulled = originWs && originId;
            row.Reset();

            TMeasureDataP measurements;
            bool hasFile = true;
            try {
                measurements = ReadProtocol(static_cast<std::int32_t>(id)).measurements;
            } catch (const Exception&) {
                // A row without a readable file still holds its number in the register.
                measurements = TMeasureDataP();
                hasFile = false;
            }
            std::optional<std::string> fileFingerprint;
            if (HasSchemaObject(db_, "table", kProtocolFingerprintTable)) {
                TLocalStatement f(db_, "select sha256 from protocolfingerprints where protocol = ?1");
                f.BindInt(1, id);
                if (f.Step()) fileFingerprint = f.Text(0);
            }
            const std::string digest = ProtocolDigest(number, date, consts, tabdata, measurements, hasFile);
            if (sentDigest == digest) continue;
            const TRegisterKey key = RegisterKey(number, date);
            const auto parsedDate = TryStoredTime(date);
            conn_.Exec("savepoint protocol");
            try {
                if (pulled)
                    conn_.Exec("insert into workstations (id, host, username) values ($1, '', '') on conflict do nothing",
                               {*originWs});
                const TPgResult stored = conn_.Exec(
                    "insert into protocols (workstation, local_id, number, year, date_text, date, org, consts, tabdata, "
                    "username, digest, has_file, number_text, file_fingerprint) values ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, "
                    "$11, $12, $13, $14) "
                    "on conflict (workstation, local_id) do update set number = excluded.number, number_text = excluded.number_text, "
                    "year = excluded.year, "
                    "date_text = excluded.date_text, date = excluded.date, org = excluded.org, consts = excluded.consts, "
                    "tabdata = excluded.tabdata, username = excluded.username, digest = excluded.digest, "
                    "has_file = excluded.has_file, file_fingerprint = excluded.file_fingerprint, pushed = now() returning id",
                    {pulled ? *originWs : ws, TPgParam::Integer(pulled ? *originId : id), key.number,
                     TPgParam::Integer(key.year), date,
                     parsedDate ? TPgParam(StoredTime(*parsedDate)) : TPgParam(), OrganisationOf(consts), consts,
                     tabdata, report_.workstation.user, digest, hasFile ? "true" : "false", number, fileFingerprint});
                const std::string archiveProtocol = stored.Text(0, 0);
                conn_.Exec("delete from protocol_measurements where protocol = $1", {archiveProtocol});
                std::string copy;
                std::int64_t position = 0;
                for (int method = 0; method < kMethodCount; ++method)
                    for (int kind = 0; kind < kKindCount; ++kind)
                        for (const TMeasureRecord& r : measurements(method, kind).Records)
                            copy += archiveProtocol + '\t' + std::to_string(position++) + '\t' +
                                    ProtocolMeasurementFields(method, r) + '\n';
                if (!copy.empty())
                    conn_.CopyIn(
                        "copy protocol_measurements (protocol, position, method, kind, number, workplace, height, time, "
                        "mvalue, evalue, mvalue2, evalue2, band, rejection) from stdin",
                        copy);
                conn_.Exec("release savepoint protocol");
            } catch (const EArchiveError& e) {
                if (e.SqlState() != "23505") throw;
                conn_.Exec("rollback to savepoint protocol");
                report_.refusedProtocols.push_back(RefusalText(date, key));
                continue;
            }
            sentProtocols_.emplace_back(id, digest);
            ++report_.protocols;
        }
    }

    std::string RefusalText(const std::string& date, const TRegisterKey& key) {
        const auto dateText = [](const std::string& text) {
            const auto parsed = TryStoredTime(text);
            return parsed ? DateToStr(*parsed) : "«" + text + "»";
        };
        std::string text = "Протокол № " + key.number + " от " + dateText(date) + " не отправлен: номер " +
                           key.number + " за " + std::to_string(key.year) + " год уже занят в архиве";
        const TPgResult holder = conn_.Exec(
            "select p.date_text, w.host, p.username, w.id from protocols p join workstations w on w.id = p.workstation "
            "where p.year = $1 and p.number = $2",
            {TPgParam::Integer(key.year), key.number});
        if (holder.Rows() > 0)
            text += " протоколом от " + dateText(holder.Text(0, 0)) + ", рабочая станция «" + holder.Text(0, 1) +
                    "» (" + holder.Text(0, 3) + "), пользователь «" + holder.Text(0, 2) + "»";
        return text;
    }

    // After the archive's commit: a process killed before this only sends
    // the same rows again next time, which the archive takes once.
    void NoteWhatWent() {
        db_.RunInTransaction([&] {
            TLocalStatement sent(db_,
                                 "insert or replace into archivesent (archive, measurement, workplace, height) "
                                 "values (?1, ?2, ?3, ?4)");
            for (const SentMeasurement& m : sentMeasurements_) {
                sent.Reset();
                sent.BindText(1, archiveId_);
                sent.BindInt(2, m.id);
                sent.BindInt(3, m.workplace);
                sent.BindInt(4, m.height);
                sent.Step();
            }
            TLocalStatement downloads(db_,
                                      "insert or ignore into archivesentdownloads (archive, download) values (?1, ?2)");
            for (const std::int64_t id : sentDownloads_) {
                downloads.Reset();
                downloads.BindText(1, archiveId_);
                downloads.BindInt(2, id);
                downloads.Step();
            }
            TLocalStatement protocols(
                db_, "insert or replace into archivesentprotocols (archive, protocol, digest) values (?1, ?2, ?3)");
            for (const auto& [id, digest] : sentProtocols_) {
                protocols.Reset();
                protocols.BindText(1, archiveId_);
                protocols.BindInt(2, id);
                protocols.BindText(3, digest);
                protocols.Step();
            }
            NoteAuditSent(db_, archiveId_, auditSent_);
        });
    }

    TPgConnection& conn_;
    TSQLiteDatabase& db_;
    const TPushCallback& progress_;
    std::string archiveId_;
    bool ignoreMarks_ = false;
    TPushReport report_;
    std::vector<SentMeasurement> sentMeasurements_;
    std::vector<std::int64_t> sentDownloads_;
    std::vector<std::pair<std::int64_t, std::string>> sentProtocols_;
    std::vector<std::int64_t> auditSent_;
};

}  // namespace

std::string ProtocolDigest(const std::string& number, const std::string& date, const std::string& consts,
                           const std::string& tabdata, const TMeasureDataP& measurements, bool hasFile) {
    Fnv64 h;
    h.Add(number);
    h.Add(date);
    h.Add(consts);
    h.Add(tabdata);
    h.Add(hasFile ? "1" : "0");
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind)
            for (const TMeasureRecord& r : measurements(method, kind).Records) h.Add(ProtocolMeasurementFields(method, r));
    return Hex64(h.Value());
}

TRegisterKey RegisterKey(const std::string& number, const std::string& dateText) {
    TRegisterKey key;
    key.number = TrimBlanks(number);
    if (const auto date = TryStoredTime(dateText)) key.year = DecodeDate(*date).year;
    return key;
}

std::string OrganisationOf(const std::string& consts) {
    const std::size_t first = consts.find("$$$");
    if (first == std::string::npos) return {};
    const std::size_t second = consts.find("$$$", first + 3);
    return consts.substr(first + 3, second == std::string::npos ? std::string::npos : second - first - 3);
}

TPushReport PushToArchive(TPgConnection& conn, TSQLiteDatabase& db, const TPushCallback& progress) {
    return Pusher(conn, db, progress).Run();
}

}  // namespace zorvex::archive
