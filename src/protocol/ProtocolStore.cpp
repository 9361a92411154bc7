#include "protocol/ProtocolStore.h"

#include <filesystem>
#include <optional>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "base/Sha256.h"
#include "storage/AuditLog.h"
#include "storage/DBDataAdapter.h"
#include "storage/FileSafety.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex {
namespace fs = std::filesystem;
namespace {

// The row as the audit log keeps it; none when there is no such row.
std::optional<std::string> RowJson(TSQLiteDatabase& db, std::int32_t id) {
    const auto row = db.Query("select number, date, consts, tabdata from protocols where id=?", {id});
    if (row->AtEnd()) return std::nullopt;
    return JsonObject({{"number", JsonQuoted(row->TextAt(0))},
                       {"date", JsonQuoted(row->TextAt(1))},
                       {"consts", JsonQuoted(row->TextAt(2))},
                       {"tabdata", JsonQuoted(row->TextAt(3))}});
}

std::optional<std::string> StoredFingerprint(TSQLiteDatabase& db, std::int32_t id) {
    if (!HasSchemaObject(db, "table", kProtocolFingerprintTable)) return std::nullopt;
    const auto row = db.Query("select sha256 from protocolfingerprints where protocol=?", {id});
    if (row->AtEnd()) return std::nullopt;
    return row->TextAt(0);
}

// Deletes the row (`sql` does) with its fingerprint and its entry in the audit log.
void DeleteAudited(std::int32_t id, const std::string& sql, const TSQLiteParams& params) {
    TSQLiteDatabase& db = MainDatabase();
    RunAudited(db, [&] {
        const auto before = RowJson(db, id);
        db.Execute(sql, params);
        if (HasSchemaObject(db, "table", kProtocolFingerprintTable))
            db.Execute("delete from protocolfingerprints where protocol=?", {id});
        if (before) AppendAudit(db, {audit::kProtocolDelete, "protocols", IntToStr(id), "", before, std::nullopt});
    });
}

void DeleteRow(std::int32_t id) {
    DeleteAudited(id, "delete from protocols where id = " + IntToStr(id), {});
}


}  // namespace


TDateTime StoredProtocolDate(TDateTime pickedDate, TDateTime now) {
    const DateParts day = DecodeDate(pickedDate);
    const TimeParts time = DecodeTime(now);
    return EncodeDateTime(day.year, day.month, day.day, time.hour, time.minute, time.second, 0);
}

bool StoreProtocol(std::int32_t& protocolId, const std::string& numberText, TDateTime date, const std::string& consts,
                   const std::string& tabdata) {
    TSQLiteDatabase& db = MainDatabase();
    const std::string number = TrimBlanks(numberText);
    const std::string stamp = FileStamp(date);
    bool inserted = false;
    RunAudited(db, [&] {
        if (protocolId == 0) {
            db.Execute("insert into protocols (number, date, consts, tabdata) values(?,?,?,?)",
                       {number, stamp, consts, tabdata});
            const auto id = static_cast<std::int32_t>(db.LastRowId());
            AppendAudit(db, {audit::kProtocolInsert, "protocols", IntToStr(id), "", std::nullopt, RowJson(db, id)});
            protocolId = id;
            inserted = true;
            return;
        }
        const auto before = RowJson(db, protocolId);
        db.Execute("update protocols set number=?, date=?, consts=?, tabdata=? where id=?",
                   {number, stamp, consts, tabdata, protocolId});
        const auto after = RowJson(db, protocolId);
        if (after != before)
            AppendAudit(db, {audit::kProtocolUpdate, "protocols", IntToStr(protocolId), "", before, after});
    });
    return inserted;
}

TFileOutcome WriteProtocolFile(std::int32_t& protocolId, bool insertedNow, TMeasureDataP& measurements) {
    const std::string path = ProtocolFilePath(protocolId);
    if (IsExistingFile(path) &&
        !Prompts().Confirm("Файл с имененим " + path + " уже существует, заменить?", "Подтверждение")) {
        if (!insertedNow) return TFileOutcome::StoredDeclined;
        DeleteRow(protocolId);
        protocolId = 0;
        return TFileOutcome::NewDeclined;
    }
    try {
        // Replaces the old file only once the new one holds every record; the
        // one writer allowed to replace a protocol's file.
        TReplacementFile file(path, TWriter::KeptFileStore);
        TDBDataAdapter().PutData(measurements, file.TempPath());
        const std::optional<std::string> digest = Sha256OfFile(file.TempPath());
        if (!digest) throw Exception("Не удалось прочитать записанный файл протокола «" + file.TempPath() + "»");
        // The file takes its place inside the transaction that records its
        // fingerprint: a failed rename leaves both as they were.
        TSQLiteDatabase& db = MainDatabase();
        RunAudited(db, [&] {
            db.Execute(kCreateProtocolFingerprintsSql);
            const auto before = StoredFingerprint(db, protocolId);
            db.Execute("insert or replace into protocolfingerprints (protocol, sha256) values(?, ?)",
                       {protocolId, *digest});
            AppendAudit(db, {audit::kProtocolFile, "protocols", IntToStr(protocolId), "file", before, *digest});
            file.Commit();
        });
    } catch (const Exception&) {
        if (insertedNow) {
            DeleteRow(protocolId);
            protocolId = 0;
        }
        throw;
    }
    return TFileOutcome::Written;
}

TStoredProtocol ReadProtocol(std::int32_t id) {
    TSQLiteDatabase& db = MainDatabase();
    if (db.ScalarInt("select count(*) from protocols where id=?", {id}) == 0)
        throw Exception(Format("Протокол %d не найден", {id}));
    TStoredProtocol stored;
    stored.consts = db.ScalarText("select consts from protocols where id=?", {id});
    stored.tabdata = db.ScalarText("select tabdata from protocols where id=?", {id});
    const std::string path = ProtocolFilePath(id);
    std::string source = path;
    if (!IsExistingFile(path)) {
        const std::optional<std::string> former = FormerProtocolFilePath(id);
        if (!former || !IsExistingFile(*former)) {
            // Opening a missing file would create an empty one and the protocol would seem to have no workplaces.
            throw Exception(former ? "Не найден файл протокола: ни «" + path + "», ни «" + *former + "»"
                                   : "Не найден файл протокола: «" + path + "»");
        }
        source = *former;
    }
    TDBDataAdapter adapter;
    adapter.GetData(source, stored.measurements);
    return stored;
}

void DeleteProtocol(std::int32_t id) {
    DeleteAudited(id, "delete from protocols where id=?", {id});
    const std::string path = ProtocolFilePath(id);
    std::error_code ec;
    std::filesystem::remove(PathFromUtf8(path), ec);
    if (IsExistingFile(path)) throw Exception("Протокол удалён, но не удалось удалить его файл " + path + ".");
}

}  // namespace zorvex
