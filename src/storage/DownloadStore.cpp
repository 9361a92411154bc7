#include "storage/DownloadStore.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <tuple>
#include <utility>

#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Hex.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "storage/AuditLog.h"
#include "storage/DBDataAdapter.h"
#include "storage/FileSafety.h"
#include "storage/RecordMatching.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/TimeIndex.h"

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
    kCreateTimeIndexSql,
};
// The memory image of a download between its commit and its file in
// downloads/: written in the download's own transaction, so that a process
// killed before the file is in place leaves it for the next start to write.
constexpr const char* kCreatePendingImagesSql =
    "create table if not exists downloadimages (download integer primary key, image text)";
constexpr const char* kPendingImagesTable = "downloadimages";
constexpr const char* kImageFolder = "downloads";
constexpr const char* kInsertLinkSql = "insert into downloadrecords (download, measurement) values(?, ?)";
constexpr const char* kDownloadColumns =
    "id, time, link, serialnumber, firmware, calibrationdate, added, skipped, imagefile";
// Ids per "in (...)" list.
constexpr std::size_t kIdsPerQuery = 500;

static_assert(std::size(kDownloadStepNames) == static_cast<std::size_t>(TDownloadStep::Finished) + 1);

std::function<void(TDownloadStep)>& StepHook() {
    static std::function<void(TDownloadStep)> hook;
    return hook;
}

void Step(TDownloadStep step) {
    if (StepHook()) StepHook()(step);
}

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
    return file.empty() ? fs::path() : PathFromUtf8(file).parent_path();
}

// downloads/<stamp>-<serial or "unknown">.bin, relative to the database's
// directory; a second download in the same second of the same meter gets
// "-2", "-3" ... rather than replacing the first one's image. A name another
// download holds counts as taken even while its file is not written yet.
std::string ImageFileName(TSQLiteDatabase& db, const fs::path& directory, TDateTime time,
                          const std::optional<std::int32_t>& serial) {
    const std::string stem = FileStamp(time) + "-" + (serial ? std::to_string(*serial) : std::string("unknown"));
    std::string name = stem + ".bin";
    const auto taken = [&](const std::string& candidate) {
        std::error_code ec;
        return fs::exists(directory / PathFromUtf8(kImageFolder) / PathFromUtf8(candidate), ec) ||
               db.ScalarInt("select count(*) from downloads where imagefile = ?",
                            {std::string(kImageFolder) + "/" + candidate}) > 0;
    };
    for (int n = 2; taken(name); ++n) name = stem + "-" + std::to_string(n) + ".bin";
    return std::string(kImageFolder) + "/" + name;
}



// Removes what a write of `target` through TReplacementFile left when its
// process was killed: the hidden ".<name>.<digits>.tmp" beside it.
void RemoveUnfinishedWrites(const fs::path& target) {
    const std::string prefix = "." + Utf8FromPath(target.filename()) + ".";
    std::error_code ec;
    for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = Utf8FromPath(it->path().filename());
        if (!name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
        const std::string_view middle = std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 4);
        if (middle.empty() || !std::all_of(middle.begin(), middle.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        std::error_code removal;
        fs::remove(it->path(), removal);
    }
}

// In one write transaction: every image waiting in the database goes to its
// file (replaced whole, so a file a killed writer already placed is written
// again the same) and leaves the database. Raises on the first failure; the
// images not written then wait on.
std::size_t WritePendingImages(TSQLiteDatabase& db) {
    if (!HasSchemaObject(db, "table", kPendingImagesTable) || !HasSchemaObject(db, "table", "downloads")) return 0;
    const fs::path directory = DatabaseDirectory(db);
    // Looked at first without the write lock, so a start with nothing to do never waits for another writer.
    if (directory.empty() || db.ScalarInt("select count(*) from downloadimages") == 0) return 0;
    std::size_t written = 0;
    db.RunInTransaction([&] {
        const auto pending = db.Query(
            "select p.download, d.imagefile, p.image from downloadimages p left join downloads d on d.id = p.download "
            "order by p.download");
        for (; !pending->AtEnd(); pending->MoveNext()) {
            const std::string download = pending->TextAt(0);
            const std::string name = pending->TextAt(1);
            const auto bytes = BytesOfHex(pending->TextAt(2));
            // Text that is no image (another tool's doing) stays as it is and
            // does not hold up the others.
            if (!bytes) continue;
            // A download that names no file has nothing to write.
            if (!name.empty()) {
                const fs::path target = (directory / PathFromUtf8(name)).lexically_normal();
                RemoveUnfinishedWrites(target);
                TReplacementFile file(Utf8FromPath(target), TWriter::KeptFileStore);
                file.Write(*bytes);
                Step(TDownloadStep::ImageWritten);
                file.Commit();
                Step(TDownloadStep::ImagePlaced);
                ++written;
            }
            db.Execute("delete from downloadimages where download = " + std::to_string(StrToInt64(download)));
        }
    });
    return written;
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
        row.imageFile = directory.empty() ? image : Utf8FromPath((directory / PathFromUtf8(image)).lexically_normal());
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

}  // namespace

EDownloadStopped::EDownloadStopped() : Exception("Прервано пользователем") {}

void SetDownloadStepHook(std::function<void(TDownloadStep)> hook) {
    StepHook() = std::move(hook);
}

TStoreCounts CountNewMeasurements(const TMeasureDataP& data, std::string_view link) {
    return CountMatches(MatchStoredRows(MainDatabase(), RecordsInStoreOrder(data), link));
}

std::array<TStoreCounts, kMethodCount> CountNewMeasurementsByMethod(const TMeasureDataP& data, std::string_view link) {
    const auto refs = RecordsInStoreOrder(data);
    const auto matches = MatchStoredRows(MainDatabase(), refs, link);
    std::array<TStoreCounts, kMethodCount> counts{};
    for (std::size_t i = 0; i < refs.size(); ++i)
        ++(matches[i] ? counts[refs[i].method].skipped : counts[refs[i].method].added);
    return counts;
}

std::string PendingImageNotice(const TStoreCounts& counts) {
    if (counts.imageProblem.empty()) return {};
    return "Образ памяти прибора пока не записан в downloads: " + counts.imageProblem +
           "; он хранится в базе данных и будет записан при следующем запуске";
}

TStoreCounts StoreDownload(TMeasureDataP& data, const TDownloadInfo& info, const std::function<bool()>& goOn) {
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
    TStoreCounts counts;
    try {
        // The check for stored records, the inserts and the download row in
        // one write transaction, so that two downloads at once store each
        // record once.
        db.RunInTransaction([&] {
            for (const char* sql : kCreateSql) db.Execute(sql);
            db.Execute(kCreatePendingImagesSql);
            db.Execute(kCreateDownloadFingerprintsSql);
            Step(TDownloadStep::Begun);
            const auto matches = MatchStoredRows(db, refs, info.link);
            counts = CountMatches(matches);
            CheckMeasurementIdsLeft(db, static_cast<std::int64_t>(counts.added));

            std::optional<std::string> imageFile;
            if (!info.image.empty()) imageFile = ImageFileName(db, directory, time, info.serialNumber);
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
                    // The record becomes what is stored, the user's notes
                    // included (and the other link's figures when it came that way).
                    r.id = stored->id;
                    r.workplace = stored->workplace;
                    r.height = stored->height;
                    r.number = stored->number;
                    r.band = static_cast<std::uint8_t>(stored->band);
                    r.rejection = static_cast<std::uint8_t>(stored->rejection);
                    r.mvalue = stored->mvalue;
                    r.evalue = stored->evalue;
                    r.mvalue2 = stored->mvalue2;
                    r.evalue2 = stored->evalue2;
                } else {
                    db.Execute(kInsertMeasurementSql,
                               {refs[i].method, refs[i].kind, r.number, r.workplace, r.height, StoredTime(r.time),
                                r.mvalue, r.mvalue2, r.evalue, r.evalue2, static_cast<std::int32_t>(r.band),
                                static_cast<std::int32_t>(r.rejection)});
                    r.id = static_cast<std::int32_t>(db.LastRowId());
                }
                db.Execute(kInsertLinkSql, {downloadId, r.id});
            }
            Step(TDownloadStep::RecordsStored);
            if (imageFile) {
                db.Execute("insert into downloadimages (download, image) values(?, ?)",
                           {downloadId, HexOfBytes(info.image.data(), info.image.size())});
                // What the kept image must hash to, for as long as it is kept.
                db.Execute("insert into downloadfingerprints (download, sha256) values(?, ?)",
                           {downloadId, Sha256Hex(info.image.data(), info.image.size())});
            }
            Step(TDownloadStep::BeforeCommit);
            if (goOn && !goOn()) throw EDownloadStopped();
        });
    } catch (...) {
        for (std::size_t i = 0; i < records.size(); ++i) *records[i] = before[i];
        throw;
    }
    Step(TDownloadStep::Committed);
    if (!info.image.empty()) {
        // The records are stored whatever happens now; an image that cannot be
        // written yet waits in the database.
        try {
            WritePendingImages(db);
        } catch (const std::exception& e) {
            counts.imageProblem = e.what();
        }
    }
    Step(TDownloadStep::Finished);
    return counts;
}

std::size_t FinishPendingDownloads() noexcept {
    try {
        if (!HasMainDatabase()) return 0;
        return WritePendingImages(MainDatabase());
    } catch (...) {
        return 0;
    }
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
