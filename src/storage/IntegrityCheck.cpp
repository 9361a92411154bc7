#include "storage/IntegrityCheck.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "base/Exceptions.h"
#include "base/Hex.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "base/Sha256.h"
#include "device/SLDeviceDataSource.h"
#include "storage/AuditLog.h"
#include "storage/DownloadStore.h"
#include "storage/ProtocolFiles.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex {
namespace {

constexpr std::size_t kIdsPerQuery = 500;

// A statement read row by row: the link table of a large database is not held as text cells.
class RawQuery {
public:
    RawQuery(TSQLiteDatabase& db, const char* sql) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db.Handle(), sql, -1, &raw, nullptr) != SQLITE_OK)
            throw ESQLiteException(sqlite3_errmsg(db.Handle()), sqlite3_extended_errcode(db.Handle()));
        stmt_.reset(raw);
        db_ = db.Handle();
    }
    bool Next() {
        const int rc = sqlite3_step(stmt_.get());
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) throw ESQLiteException(sqlite3_errmsg(db_), sqlite3_extended_errcode(db_));
        return false;
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }

private:
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt_{nullptr, sqlite3_finalize};
    sqlite3* db_ = nullptr;
};

// A `measurements` row as it is stored: texts as read, the values exactly.
struct StoredRecord {
    std::string method, kind, number, band, rejection, time;
    std::array<std::string, 4> valueTexts;
    std::array<std::optional<double>, 4> values;
};

constexpr std::array<const char*, 4> kValueColumns = {"mvalue", "evalue", "mvalue2", "evalue2"};

std::array<double, 4> ValuesOf(const TMeasureRecord& r) {
    return {r.mvalue, r.evalue, r.mvalue2, r.evalue2};
}

std::unordered_map<std::int32_t, StoredRecord> LoadRows(TSQLiteDatabase& db, const std::vector<std::int32_t>& ids) {
    std::unordered_map<std::int32_t, StoredRecord> rows;
    for (std::size_t from = 0; from < ids.size(); from += kIdsPerQuery) {
        // A download's new rows have consecutive ids: one range is one seek and a walk.
        std::string list, ranges;
        const std::size_t end = std::min(ids.size(), from + kIdsPerQuery);
        for (std::size_t i = from; i < end;) {
            std::size_t last = i;
            while (last + 1 < end && ids[last + 1] == ids[last] + 1) ++last;
            if (last - i >= 2) {
                ranges += (ranges.empty() ? "" : " or ") + std::string("id between ") + std::to_string(ids[i]) +
                          " and " + std::to_string(ids[last]);
            } else {
                for (std::size_t k = i; k <= last; ++k) list += (list.empty() ? "" : ",") + std::to_string(ids[k]);
            }
            i = last + 1;
        }
        const auto table = db.Query(
            "select id, method, kind, number, band, rejection, time, mvalue, evalue, mvalue2, evalue2 from "
            "measurements where " +
            (list.empty() ? std::string() : "id in (" + list + ")" + (ranges.empty() ? "" : " or ")) +
            ranges);  // cells as stored: numbers are not made text by SQLite only to be parsed back
        for (; !table->AtEnd(); table->MoveNext()) {
            const auto id = TryStrToInt(table->TextAt(0));
            if (!id) continue;
            StoredRecord& r = rows[*id];
            r.method = table->TextAt(1);
            r.kind = table->TextAt(2);
            r.number = table->TextAt(3);
            r.band = table->TextAt(4);
            r.rejection = table->TextAt(5);
            r.time = table->TextAt(6);
            for (int v = 0; v < 4; ++v) {
                r.valueTexts[v] = table->TextAt(7 + v);
                r.values[v] = table->FloatAt(7 + v);
            }
        }
    }
    return rows;
}

// The differences of a stored row from the record the image gives, as
// "поле: в образе X, в базе Y"; empty when they agree.
std::vector<std::string> Differences(int method, int kind, const TMeasureRecord& record, const StoredRecord& row) {
    std::vector<std::string> found;
    const auto compare = [&found](const char* name, const std::string& recorded, const std::string& stored) {
        if (recorded != stored) found.push_back(std::string(name) + ": в образе " + recorded + ", в базе " + stored);
    };
    compare("method", IntToStr(method), row.method);
    compare("kind", IntToStr(kind), row.kind);
    compare("time", StoredTime(record.time), row.time);
    compare("number", IntToStr(record.number), row.number);
    compare("band", IntToStr(record.band), row.band);
    compare("rejection", IntToStr(record.rejection), row.rejection);
    const auto values = ValuesOf(record);
    for (int v = 0; v < 4; ++v)
        if (row.values[v] != values[v])
            found.push_back(std::string(kValueColumns[v]) + ": в образе " + AuditNumber(values[v]) + ", в базе " +
                            (row.values[v] ? AuditNumber(*row.values[v]) : "«" + row.valueTexts[v] + "»"));
    return found;
}

// Whether the field a difference names is one both links give for records
// of (method, kind); the others (number, values the kind does not measure,
// the band of monitoring records) each link fills its own way.
bool BothLinksGive(int method, int kind, const std::string& difference) {
    const std::string field = difference.substr(0, difference.find(':'));
    const bool magnetic = kind == kKind50Hz || kind == kKindSvtMagnetic || kind == kKindMagnetic;
    const bool electric = kind == kKind50Hz || kind == kKindSvtElectric || kind == kKindElectric;
    return field == "method" || field == "kind" || field == "time" || field == "rejection" ||
           (field == "band" && method == kMethodSingle) || (field == "mvalue" && magnetic) ||
           (field == "evalue" && electric);
}

// Whether a row another link brought first is the record as the download matched it.
bool SameReadingOtherLink(int method, int kind, const TMeasureRecord& record, const StoredRecord& row) {
    if (row.method != IntToStr(method) || row.kind != IntToStr(kind) || row.time != StoredTime(record.time))
        return false;
    const auto band = TryStrToInt(row.band), rejection = TryStrToInt(row.rejection);
    if (!band || !rejection || !row.values[0] || !row.values[1]) return false;
    TStoredRow stored;
    stored.band = *band;
    stored.rejection = *rejection;
    stored.mvalue = *row.values[0];
    stored.evalue = *row.values[1];
    return SameAcrossLinks(method, kind, record, stored);
}


std::optional<std::string> ReadBytes(const std::string& path) {
    std::ifstream file(PathFromUtf8(path), std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

// Texts of one column keyed by the integer of another: the fingerprints, the waiting images.
std::unordered_map<std::int64_t, std::string> TextsById(TSQLiteDatabase& db, const char* table, const char* sql) {
    std::unordered_map<std::int64_t, std::string> texts;
    if (!HasSchemaObject(db, "table", table)) return texts;
    const auto rows = db.Query(sql, {}, TSQLiteTable::DeclaredTypes::LowerCase);
    for (; !rows->AtEnd(); rows->MoveNext())
        if (const auto id = TryStrToInt64(rows->TextAt(0))) texts[*id] = rows->TextAt(1);
    return texts;
}

// The highest measurement id "Очистить историю измерений" removed; 0 for none.
std::int64_t ClearedUpTo(TSQLiteDatabase& db) {
    std::int64_t highest = 0;
    if (!HasSchemaObject(db, "table", kAuditTable)) return highest;
    const auto rows = db.Query("select oldvalue from auditlog where kind = ?", {std::string(audit::kClearHistory)});
    for (; !rows->AtEnd(); rows->MoveNext()) {
        const std::string text = rows->TextAt(0);
        const std::string key = "\"lastid\":";
        const std::size_t at = text.find(key);
        if (at == std::string::npos) continue;
        std::size_t end = at + key.size();
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (const auto id = TryStrToInt64(text.substr(at + key.size(), end - at - key.size())))
            highest = std::max(highest, *id);
    }
    return highest;
}

void CheckAuditLog(TSQLiteDatabase& db, TIntegrityReport& report) {
    if (!HasSchemaObject(db, "table", kAuditTable)) return;
    const auto range = db.Query("select count(*), coalesce(min(id), 0), coalesce(max(id), 0) from auditlog");
    const std::int64_t count = StrToInt64(range->TextAt(0)), first = StrToInt64(range->TextAt(1)),
                       last = StrToInt64(range->TextAt(2));
    report.auditEntries = static_cast<std::size_t>(count);
    // Ids are handed out one after another and never again: a gap is a removed entry.
    std::int64_t handedOut = last;
    const auto sequence = db.Query("select seq from sqlite_sequence where name = 'auditlog'");
    if (!sequence->AtEnd()) handedOut = std::max(handedOut, StrToInt64(sequence->TextAt(0)));
    if (count != handedOut || (count > 0 && first != 1))
        report.issues.push_back({"audit-gap", "auditlog",
                                 "Журнал изменений: удалены записи — в нём " + IntToStr(count) + " из " +
                                     IntToStr(handedOut) + " внесённых"});
    if (!HasSchemaObject(db, "trigger", "auditlog_no_update") || !HasSchemaObject(db, "trigger", "auditlog_no_delete"))
        report.issues.push_back({"audit-unprotected", "auditlog",
                                 "Журнал изменений не защищён от правки: удалён запрет изменения его записей"});
}

class DownloadChecker {
public:
    DownloadChecker(TSQLiteDatabase& db, TIntegrityReport& report) : db_(db), report_(report) {}

    void Run(const TIntegrityProgress& progress) {
        if (!HasSchemaObject(db_, "table", "downloads")) return;
        const std::vector<TDownloadRow> downloads = ListDownloads();
        report_.downloads = downloads.size();
        fingerprints_ = TextsById(db_, kDownloadFingerprintTable, "select download, sha256 from downloadfingerprints");
        pending_ = TextsById(db_, "downloadimages", "select download, image from downloadimages");
        clearedUpTo_ = ClearedUpTo(db_);
        for (const TDownloadRow& d : downloads) linkOf_[d.id] = d.link;
        LoadLinks();
        for (std::size_t i = 0; i < downloads.size(); ++i) {
            Check(downloads[i]);
            if (progress && (i % 100 == 99 || i + 1 == downloads.size())) progress(i + 1, downloads.size());
        }
    }

private:
    void LoadLinks() {
        if (!HasSchemaObject(db_, "table", "downloadrecords")) return;
        // In insertion order, which is the order each download stored its records in.
        RawQuery links(db_, "select download, measurement from downloadrecords order by rowid");
        while (links.Next()) {
            const std::int64_t download = links.Int(0);
            const auto measurement = static_cast<std::int32_t>(links.Int(1));
            recordsOf_[download].push_back(measurement);
            auto [at, fresh] = firstDownload_.try_emplace(measurement, download);
            if (!fresh) at->second = std::min(at->second, download);
        }
    }

    std::string Name(const TDownloadRow& d) const {
        return "Загрузка " + IntToStr(d.id) + " (" + StoredTime(d.time) + ")";
    }

    void Issue(const char* kind, std::string object, std::string text) {
        report_.issues.push_back({kind, std::move(object), std::move(text)});
    }

    void Check(const TDownloadRow& d) {
        const std::vector<std::int32_t>& linked = recordsOf_[d.id];
        const auto rows = LoadRows(db_, linked);
        std::optional<TMeasureDataP> decoded;
        if (!d.imageFile.empty()) decoded = CheckImage(d);
        if (decoded) {
            const auto refs = RecordsInStoreOrder(*decoded);
            if (refs.size() != linked.size()) {
                Issue("records-relinked", "download " + IntToStr(d.id),
                      Name(d) + ": в образе памяти записей " + IntToStr(static_cast<std::int64_t>(refs.size())) +
                          ", а связано с загрузкой " + IntToStr(static_cast<std::int64_t>(linked.size())));
            } else {
                for (std::size_t k = 0; k < refs.size(); ++k) CheckRecord(d, k, refs[k], linked[k], rows);
                return;
            }
        }
        // Without an image to compare with, the rows must at least be there.
        for (std::size_t k = 0; k < linked.size(); ++k)
            if (!rows.contains(linked[k])) Deleted(d, k, linked[k], std::nullopt);
    }

    void Deleted(const TDownloadRow& d, std::size_t k, std::int32_t id, std::optional<TDateTime> time) {
        if (id <= clearedUpTo_) {
            ++report_.recordsCleared;
            return;
        }
        Issue("record-deleted", "measurement " + IntToStr(id),
              Name(d) + ", запись " + IntToStr(static_cast<std::int64_t>(k + 1)) + " (id " + IntToStr(id) +
                  (time ? ", " + StoredTime(*time) : std::string()) + "): удалена из базы не через программу");
    }

    void CheckRecord(const TDownloadRow& d, std::size_t k, const TRecordRef& ref, std::int32_t id,
                     const std::unordered_map<std::int32_t, StoredRecord>& rows) {
        const auto found = rows.find(id);
        if (found == rows.end()) return Deleted(d, k, id, ref.record->time);
        ++report_.records;
        const auto differences = Differences(ref.method, ref.kind, *ref.record, found->second);
        if (differences.empty()) return;
        // A row that the other link brought first holds the same reading in
        // its own figures: only what both links give must agree.
        const auto first = firstDownload_.find(id);
        bool otherLink = false;
        if (first != firstDownload_.end() && first->second != d.id) {
            const auto origin = linkOf_.find(first->second);
            otherLink = origin != linkOf_.end() && origin->second != d.link;
        }
        if (otherLink && SameReadingOtherLink(ref.method, ref.kind, *ref.record, found->second)) return;
        std::string text;
        for (const auto& difference : differences)
            if (!otherLink || BothLinksGive(ref.method, ref.kind, difference))
                text += (text.empty() ? "" : "; ") + difference;
        Issue("record-changed", "measurement " + IntToStr(id),
              Name(d) + ", запись " + IntToStr(static_cast<std::int64_t>(k + 1)) + " (id " + IntToStr(id) +
                  "): изменена — " + text);
    }

    // Checks the image against its fingerprint and decodes it; none when
    // there is nothing to decode.
    std::optional<TMeasureDataP> CheckImage(const TDownloadRow& d) {
        ++report_.images;
        const auto fingerprint = fingerprints_.find(d.id);
        const bool hasFingerprint = fingerprint != fingerprints_.end();
        if (!hasFingerprint) ++report_.imagesWithoutFingerprint;
        const std::string object = "download " + IntToStr(d.id);
        std::error_code ec;
        if (!std::filesystem::exists(PathFromUtf8(d.imageFile), ec)) {
            if (const auto waiting = pending_.find(d.id); waiting != pending_.end()) {
                // Written to downloads/ at the next start; its bytes can be checked now.
                ++report_.imagesPending;
                const auto bytes = BytesOfHex(waiting->second);
                if (hasFingerprint && (!bytes || Sha256Hex(*bytes) != fingerprint->second))
                    Issue("image-altered", object, Name(d) + ": образ памяти, ждущий записи в downloads, изменён");
                return std::nullopt;
            }
            Issue("image-missing", object, Name(d) + ": нет файла образа памяти «" + d.imageFile + "»");
            return std::nullopt;
        }
        const auto bytes = ReadBytes(d.imageFile);
        if (!bytes) {
            Issue("image-unreadable", object, Name(d) + ": файл образа памяти «" + d.imageFile + "» не читается");
            return std::nullopt;
        }
        if (hasFingerprint && Sha256Hex(*bytes) != fingerprint->second)
            Issue("image-altered", object,
                  Name(d) + ": образ памяти «" + d.imageFile +
                      "» изменён — его SHA-256 не совпадает с отпечатком, сохранённым при загрузке");
        const PromptsScope silent(MakeSilentPrompts());  // the decoder tells of short memories; no one to tell here
        try {
            TSLDeviceDataSource source;
            source.ImageFile = d.imageFile;
            TMeasureDataP data;
            source.GetData("", data);
            return data;
        } catch (const std::exception& e) {
            Issue("image-unreadable", object,
                  Name(d) + ": образ памяти «" + d.imageFile + "» не читается: " + e.what());
            return std::nullopt;
        }
    }

    TSQLiteDatabase& db_;
    TIntegrityReport& report_;
    std::unordered_map<std::int64_t, std::string> fingerprints_, pending_;
    std::unordered_map<std::int64_t, std::string> linkOf_;
    std::unordered_map<std::int64_t, std::vector<std::int32_t>> recordsOf_;
    std::unordered_map<std::int32_t, std::int64_t> firstDownload_;
    std::int64_t clearedUpTo_ = 0;
};

void VerifyProtocols(TSQLiteDatabase& db, TIntegrityReport& report) {
    std::unordered_map<std::int64_t, std::string> fingerprints;
    if (HasSchemaObject(db, "table", kProtocolFingerprintTable)) {
        const auto rows =
            db.Query("select protocol, sha256 from protocolfingerprints", {}, TSQLiteTable::DeclaredTypes::LowerCase);
        for (; !rows->AtEnd(); rows->MoveNext())
            if (const auto id = TryStrToInt64(rows->TextAt(0))) fingerprints[*id] = rows->TextAt(1);
    }
    const auto rows =
        db.Query("select id, number from protocols order by id", {}, TSQLiteTable::DeclaredTypes::LowerCase);
    for (; !rows->AtEnd(); rows->MoveNext()) {
        const auto id = TryStrToInt(rows->TextAt(0));
        if (!id) continue;
        ++report.protocols;
        const std::string name = "Протокол " + IntToStr(*id) + " (№ " + rows->TextAt(1) + ")";
        const std::string object = "protocol " + IntToStr(*id);
        const auto fingerprint = fingerprints.find(*id);
        if (fingerprint == fingerprints.end()) {
            ++report.protocolsWithoutFingerprint;
            if (!ProtocolFileToRead(*id))
                report.issues.push_back(
                    {"protocol-file-missing", object, name + ": нет файла протокола «" + ProtocolFilePath(*id) + "»"});
            continue;
        }
        // The fingerprint is of the file the program wrote beside the database.
        const std::string path = ProtocolFilePath(*id);
        if (!IsExistingFile(path)) {
            report.issues.push_back({"protocol-file-missing", object, name + ": нет файла протокола «" + path + "»"});
            continue;
        }
        const auto digest = Sha256OfFile(path);
        if (digest != fingerprint->second)
            report.issues.push_back(
                {"protocol-file-altered", object,
                 name + ": файл протокола «" + path + "» не совпадает с записанным программой (SHA-256 другой)"});
    }
}

std::string Count(std::size_t n) {
    return IntToStr(static_cast<std::int64_t>(n));
}

}  // namespace

void VerifyDownloads(TSQLiteDatabase& db, TIntegrityReport& report, const TIntegrityProgress& progress) {
    DownloadChecker(db, report).Run(progress);
    CheckAuditLog(db, report);
}

TIntegrityReport VerifyIntegrity(const TIntegrityProgress& progress) {
    TSQLiteDatabase& db = MainDatabase();
    TIntegrityReport report;
    VerifyDownloads(db, report, progress);
    VerifyProtocols(db, report);
    return report;
}

std::vector<std::string> IntegritySummary(const TIntegrityReport& r) {
    std::vector<std::string> lines;
    lines.push_back("Загрузок: " + Count(r.downloads) + ", с образом памяти: " + Count(r.images) +
                    (r.imagesWithoutFingerprint ? ", из них без отпечатка: " + Count(r.imagesWithoutFingerprint) : "") +
                    (r.imagesPending ? ", ждут записи в downloads: " + Count(r.imagesPending) : ""));
    lines.push_back("Записей сверено с образами: " + Count(r.records) +
                    (r.recordsCleared ? ", стёрто очисткой истории: " + Count(r.recordsCleared) : ""));
    lines.push_back(
        "Протоколов: " + Count(r.protocols) +
        (r.protocolsWithoutFingerprint ? ", из них без отпечатка: " + Count(r.protocolsWithoutFingerprint) : ""));
    lines.push_back("Записей в журнале изменений: " + Count(r.auditEntries));
    lines.push_back(r.Clean() ? "Различий нет" : "Различий: " + Count(r.issues.size()));
    return lines;
}

}  // namespace zorvex
