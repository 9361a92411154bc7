#include "storage/DownloadStore.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>
#include <utility>

#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/DBDataAdapter.h"
#include "storage/FileSafety.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex {
namespace {
namespace fs = std::filesystem;

// Tables and indexes added to the main database by its first kept download.
// The measurement tables stay as they are, so other installations read the
// file as before; data files never get these.
constexpr const char* kCreateSql[] = {
    "create table if not exists downloads (id integer primary key autoincrement, time datetime, link text, "
    "serialnumber integer, firmware text, calibrationdate datetime, added integer, skipped integer, imagefile text)",
    "create table if not exists downloadrecords (download integer, measurement integer)",
    "create index if not exists downloadrecords_measurement on downloadrecords (measurement, download)",
    // Finding the stored rows at a download's times must not scan the whole table
    // (kMeasurementTimeIndex).
    "create index if not exists measurements_time on measurements (time)",
};
constexpr const char* kImageFolder = "downloads";
constexpr const char* kInsertLinkSql = "insert into downloadrecords (download, measurement) values(?, ?)";
constexpr const char* kDownloadColumns =
    "id, time, link, serialnumber, firmware, calibrationdate, added, skipped, imagefile";
// Ids per "in (...)" list.
constexpr std::size_t kIdsPerQuery = 500;

bool HasDownloadTables(TSQLiteDatabase& db) {
    return HasSchemaObject(db, "table", "downloads") && HasSchemaObject(db, "table", "downloadrecords");
}

// The records of a matrix in store order, to be given their ids.
std::vector<TMeasureRecord*> RecordsToStore(TMeasureDataP& data) {
    std::vector<TMeasureRecord*> records;
    records.reserve(data.TotalRecords());
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind)
            for (auto& r : data(method, kind).Records) records.push_back(&r);
    return records;
}

TStoreCounts CountMatches(const std::vector<std::optional<TStoredRow>>& matches) {
    TStoreCounts counts;
    for (const auto& m : matches) ++(m ? counts.skipped : counts.added);
    return counts;
}

fs::path DatabaseDirectory(TSQLiteDatabase& db) {
    const std::string file = db.FileName();
    return file.empty() ? fs::path() : fs::path(file).parent_path();
}

// downloads/<stamp>-<serial or "unknown">.bin, relative to the database's
// directory; a second download in the same second of the same meter gets
// "-2", "-3" ... rather than replacing the first one's image.
std::string ImageFileName(const fs::path& directory, TDateTime time, const std::optional<std::int32_t>& serial) {
    const std::string stem = FileStamp(time) + "-" + (serial ? std::to_string(*serial) : std::string("unknown"));
    std::string name = stem + ".bin";
    std::error_code ec;
    for (int n = 2; fs::exists(directory / kImageFolder / name, ec); ++n)
        name = stem + "-" + std::to_string(n) + ".bin";
    return std::string(kImageFolder) + "/" + name;
}

// An insert whose absent values are SQL null, which the parameter list cannot carry.
class InsertBuilder {
public:
    template <typename T>
    void Add(const std::optional<T>& value) {
        if (value)
            Add(TSQLiteParam(*value));
        else
            placeholders_ += placeholders_.empty() ? "null" : ", null";
    }
    void Add(TSQLiteParam value) {
        placeholders_ += placeholders_.empty() ? "?" : ", ?";
        params_.push_back(std::move(value));
    }
    const std::string& Placeholders() const { return placeholders_; }
    const TSQLiteParams& Params() const { return params_; }

private:
    std::string placeholders_;
    TSQLiteParams params_;
};

std::optional<TDateTime> StoredDate(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return ParseStoredTime(text);
}

TDownloadRow ReadDownloadRow(const TSQLiteTable& table, const fs::path& directory) {
    TDownloadRow row;
    row.id = StrToInt64(table.TextAt(0));
    row.time = ParseStoredTime(table.TextAt(1));
    row.link = table.TextAt(2);
    row.serialNumber = TryStrToInt(table.TextAt(3));
    if (std::string firmware = table.TextAt(4); !firmware.empty()) row.firmware = std::move(firmware);
    row.calibrationDate = StoredDate(table.TextAt(5));
    row.added = StrToInt64(table.TextAt(6));
    row.skipped = StrToInt64(table.TextAt(7));
    if (const std::string image = table.TextAt(8); !image.empty())
        row.imageFile = directory.empty() ? image : (directory / fs::path(image)).lexically_normal().string();
    return row;
}

std::vector<TDownloadRow> QueryDownloads(TSQLiteDatabase& db, const std::string& condition) {
    const fs::path directory = DatabaseDirectory(db);
    std::vector<TDownloadRow> rows;
    const auto table =
        db.Query(std::string("select ") + kDownloadColumns + " from downloads where " + condition + " order by id");
    for (; !table->AtEnd(); table->MoveNext()) rows.push_back(ReadDownloadRow(*table, directory));
    return rows;
}

void SortOldestFirst(std::vector<TDownloadRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const TDownloadRow& a, const TDownloadRow& b) {
        return std::tie(a.time, a.id) < std::tie(b.time, b.id);
    });
}

template <typename Id>
std::string IdList(const std::vector<Id>& ids, std::size_t from, std::size_t count) {
    std::string list;
    for (std::size_t i = from; i < from + count && i < ids.size(); ++i) {
        if (!list.empty()) list += ",";
        list += std::to_string(ids[i]);
    }
    return list;
}

// Undoes what a failed store did outside the database: the image file it
// placed and the folder it made for it.
class ImageCleanup {
public:
    void Placed(fs::path file, bool createdFolder) {
        file_ = std::move(file);
        createdFolder_ = createdFolder;
    }
    void Undo() const {
        if (file_.empty()) return;
        std::error_code ec;
        fs::remove(file_, ec);
        if (createdFolder_) fs::remove(file_.parent_path(), ec);  // only when empty
    }

private:
    fs::path file_;
    bool createdFolder_ = false;
};

}  // namespace

TStoreCounts CountNewMeasurements(const TMeasureDataP& data) {
    return CountMatches(MatchStoredRows(MainDatabase(), RecordsInStoreOrder(data)));
}

TStoreCounts StoreDownload(TMeasureDataP& data, const TDownloadInfo& info) {
    TSQLiteDatabase& db = MainDatabase();
    const TDateTime time = info.time != 0 ? info.time : Now();
    const fs::path directory = DatabaseDirectory(db);
    if (!info.image.empty() && directory.empty())
        throw Exception("Загрузка не сохранена: база данных не в файле, образ памяти некуда записать");

    const auto refs = RecordsInStoreOrder(data);
    const auto records = RecordsToStore(data);
    // The records as they were, for a store that fails.
    std::vector<TMeasureRecord> before;
    before.reserve(records.size());
    for (const TMeasureRecord* r : records) before.push_back(*r);
    ImageCleanup cleanup;
    TStoreCounts counts;
    try {
        db.RunInTransaction([&] {
            for (const char* sql : kCreateSql) db.Execute(sql);
            const auto matches = MatchStoredRows(db, refs);
            counts = CountMatches(matches);
            CheckMeasurementIdsLeft(db, static_cast<std::int64_t>(counts.added));

            std::optional<std::string> imageFile;
            if (!info.image.empty()) imageFile = ImageFileName(directory, time, info.serialNumber);
            std::optional<std::string> calibration;
            if (info.calibrationDate) calibration = StoredTime(*info.calibrationDate);
            InsertBuilder download;
            download.Add(StoredTime(time));
            download.Add(info.link);
            download.Add(info.serialNumber);
            download.Add(info.firmware);
            download.Add(calibration);
            download.Add(static_cast<std::int32_t>(counts.added));
            download.Add(static_cast<std::int32_t>(counts.skipped));
            download.Add(imageFile);
            db.Execute(
                "insert into downloads (time, link, serialnumber, firmware, calibrationdate, added, skipped, "
                "imagefile) values(" +
                    download.Placeholders() + ")",
                download.Params());
            // Far below 2^31 downloads; the parameter list binds 32-bit integers.
            const auto downloadId = static_cast<std::int32_t>(db.LastRowId());

            for (std::size_t i = 0; i < records.size(); ++i) {
                TMeasureRecord& r = *records[i];
                if (const auto& stored = matches[i]) {
                    // The record becomes what is stored, the user's notes included.
                    r.id = stored->id;
                    r.workplace = stored->workplace;
                    r.height = stored->height;
                } else {
                    db.Execute(kInsertMeasurementSql,
                               {refs[i].method, refs[i].kind, r.number, r.workplace, r.height, StoredTime(r.time),
                                r.mvalue, r.mvalue2, r.evalue, r.evalue2, static_cast<std::int32_t>(r.band),
                                static_cast<std::int32_t>(r.rejection)});
                    r.id = static_cast<std::int32_t>(db.LastRowId());
                }
                db.Execute(kInsertLinkSql, {downloadId, r.id});
            }

            if (imageFile) {
                const fs::path target = directory / fs::path(*imageFile);
                std::error_code ec;
                const bool folderExisted = fs::exists(target.parent_path(), ec);
                TReplacementFile file(target.string());
                cleanup.Placed(target, !folderExisted);
                file.Write(std::string_view(reinterpret_cast<const char*>(info.image.data()), info.image.size()));
                file.Commit();
            }
        });
    } catch (...) {
        cleanup.Undo();
        for (std::size_t i = 0; i < records.size(); ++i) *records[i] = before[i];
        throw;
    }
    return counts;
}

std::vector<TDownloadRow> ListDownloads() {
    TSQLiteDatabase& db = MainDatabase();
    if (!HasSchemaObject(db, "table", "downloads")) return {};
    auto rows = QueryDownloads(db, "1=1");
    SortOldestFirst(rows);
    return rows;
}

std::vector<TDownloadRow> DownloadsOfMeasurements(const std::vector<std::int32_t>& ids) {
    TSQLiteDatabase& db = MainDatabase();
    if (ids.empty() || !HasDownloadTables(db)) return {};
    std::set<std::int64_t> downloads;
    for (std::size_t from = 0; from < ids.size(); from += kIdsPerQuery) {
        std::vector<std::string> found;
        db.ColumnTexts("select distinct download from downloadrecords where measurement in (" +
                           IdList(ids, from, kIdsPerQuery) + ")",
                       found);
        for (const auto& text : found)
            if (const auto id = TryStrToInt64(text)) downloads.insert(*id);
    }
    const std::vector<std::int64_t> downloadIds(downloads.begin(), downloads.end());
    std::vector<TDownloadRow> rows;
    for (std::size_t from = 0; from < downloadIds.size(); from += kIdsPerQuery) {
        auto part = QueryDownloads(db, "id in (" + IdList(downloadIds, from, kIdsPerQuery) + ")");
        rows.insert(rows.end(), part.begin(), part.end());
    }
    SortOldestFirst(rows);
    return rows;
}

std::map<std::int32_t, std::vector<std::int64_t>> DownloadIdsOfMeasurements(const std::vector<std::int32_t>& ids) {
    TSQLiteDatabase& db = MainDatabase();
    std::map<std::int32_t, std::vector<std::int64_t>> result;
    if (ids.empty() || !HasDownloadTables(db)) return result;
    for (std::size_t from = 0; from < ids.size(); from += kIdsPerQuery) {
        const auto table = db.Query("select measurement, download from downloadrecords where measurement in (" +
                                    IdList(ids, from, kIdsPerQuery) + ") order by measurement, download");
        while (!table->AtEnd()) {
            const auto measurement = TryStrToInt(table->TextAt(0));
            const auto download = TryStrToInt64(table->TextAt(1));
            if (measurement && download) result[*measurement].push_back(*download);
            table->MoveNext();
        }
    }
    return result;
}

}  // namespace zorvex
