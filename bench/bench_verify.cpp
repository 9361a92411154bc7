// Checks 10,000 kept downloads (100 records each, a million rows) with
// VerifyIntegrity, and measures the floor in the same run: reading every kept
// image and hashing it, which the check must do at the least. Prints both and
// their ratio. ZORVEX_VERIFY_DOWNLOADS sets another number of downloads.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/IntegrityCheck.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

using namespace zorvex;
namespace fs = std::filesystem;

namespace {

constexpr int kSingles = 30;
constexpr int kMonitorValues = 70;

double Seconds(const std::function<void()>& action) {
    double best = 1e9;
    for (int run = 0; run < 2; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        action();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// The memory of download `n`: its own day and values, so no record repeats another's.
std::vector<std::uint8_t> Memory(int n) {
    TImageBuilder builder;
    const TDateTime day = EncodeDate(2000, 1, 1) + n;
    for (int i = 0; i < kSingles; ++i)
        builder.AddSingle(100 + (n + i) % 997, day + EncodeTime(9, i, 0, 0),
                          SingleFlags(i % 2 ? TFieldClass::Workplace : TFieldClass::General, i % 3 == 0, false, false));
    std::vector<double> run;
    for (int i = 0; i < kMonitorValues; ++i) run.push_back(150 + (n * 7 + i) % 101);
    builder.SetMonitoring(MonitorMode(TFieldClass::Workplace, false, false, false), 0, day + EncodeTime(12, 0, 0, 0),
                          10, run);
    return builder.Image();
}

// What the download's decoder gives for that memory.
TMeasureDataP Decoded(const std::vector<std::uint8_t>& memory) {
    const DriverBackendScope backend(std::make_shared<TSimulatedMeter>(memory));
    TSLDeviceDataSource source;
    TMeasureDataP data;
    source.GetData("", data);
    return data;
}

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    // As the program binds its texts: with the terminating zero byte.
    sqlite3_bind_text(stmt, index, text.c_str(), static_cast<int>(text.size() + 1), SQLITE_TRANSIENT);
}

// The rows a download of each memory leaves, written straight in one
// transaction, and the images in downloads/ beside the database.
void Build(const fs::path& dir, const std::string& file, int downloads, std::vector<std::string>& images) {
    OpenDatabase(file).reset();
    SetMainDatabase(OpenDatabase(file));  // the audit and fingerprint tables
    SetMainDatabase(nullptr);
    fs::create_directories(dir / "downloads");
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "create table if not exists downloads (id integer primary key autoincrement, time datetime, link "
                 "text, serialnumber integer, firmware text, calibrationdate datetime, added integer, skipped "
                 "integer, imagefile text);"
                 "create table if not exists downloadrecords (download integer, measurement integer);"
                 "create index if not exists downloadrecords_measurement on downloadrecords (measurement, download);"
                 "BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr, *link = nullptr, *download = nullptr, *fingerprint = nullptr;
    sqlite3_prepare_v2(db, kInsertMeasurementSql, -1, &insert, nullptr);
    sqlite3_prepare_v2(db, "insert into downloadrecords (download, measurement) values(?, ?)", -1, &link, nullptr);
    sqlite3_prepare_v2(db,
                       "insert into downloads (id, time, link, serialnumber, added, skipped, imagefile) "
                       "values(?, ?, ?, 1207, ?, 0, ?)",
                       -1, &download, nullptr);
    sqlite3_prepare_v2(db, "insert into downloadfingerprints (download, sha256) values(?, ?)", -1, &fingerprint,
                       nullptr);
    sqlite3_int64 measurement = 0;
    for (int n = 1; n <= downloads; ++n) {
        const auto memory = Memory(n);
        const TMeasureDataP data = Decoded(memory);
        const std::string name = "downloads/" + std::to_string(n) + ".bin";
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
        images.push_back(Utf8FromPath(dir / name));
        sqlite3_bind_int(download, 1, n);
        BindText(download, 2, StoredTime(EncodeDate(2000, 1, 1) + n + 0.75));
        BindText(download, 3, "driver");
        sqlite3_bind_int(download, 4, static_cast<int>(data.TotalRecords()));
        BindText(download, 5, name);
        sqlite3_step(download);
        sqlite3_reset(download);
        sqlite3_bind_int(fingerprint, 1, n);
        BindText(fingerprint, 2, Sha256Hex(memory.data(), memory.size()));
        sqlite3_step(fingerprint);
        sqlite3_reset(fingerprint);
        for (int m = 0; m < kMethodCount; ++m)
            for (int k = 0; k < kKindCount; ++k)
                for (const auto& r : data(m, k).Records) {
                    sqlite3_bind_int(insert, 1, m);
                    sqlite3_bind_int(insert, 2, k);
                    sqlite3_bind_int(insert, 3, r.number);
                    sqlite3_bind_int(insert, 4, r.workplace);
                    sqlite3_bind_int(insert, 5, r.height);
                    BindText(insert, 6, StoredTime(r.time));
                    sqlite3_bind_double(insert, 7, r.mvalue);
                    sqlite3_bind_double(insert, 8, r.mvalue2);
                    sqlite3_bind_double(insert, 9, r.evalue);
                    sqlite3_bind_double(insert, 10, r.evalue2);
                    sqlite3_bind_int(insert, 11, r.band);
                    sqlite3_bind_int(insert, 12, r.rejection);
                    sqlite3_step(insert);
                    sqlite3_reset(insert);
                    sqlite3_bind_int(link, 1, n);
                    sqlite3_bind_int64(link, 2, ++measurement);
                    sqlite3_step(link);
                    sqlite3_reset(link);
                }
    }
    for (sqlite3_stmt* s : {insert, link, download, fingerprint}) sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

}  // namespace

int main() {
    const char* given = std::getenv("ZORVEX_VERIFY_DOWNLOADS");
    const int downloads = given ? std::max(1, std::atoi(given)) : 10000;
    const fs::path dir = fs::temp_directory_path() / "zorvex-bench-verify";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string file = Utf8FromPath(dir / "data.db");
    std::vector<std::string> images;
    const auto t0 = std::chrono::steady_clock::now();
    Build(dir, file, downloads, images);
    const double built = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    std::size_t hashed = 0;
    const double floor = Seconds([&] {
        hashed = 0;
        for (const auto& image : images) hashed += Sha256OfFile(image).has_value();
    });
    SetMainDatabase(OpenDatabase(file));
    TIntegrityReport report;
    const double check = Seconds([&] { report = VerifyIntegrity(); });
    SetMainDatabase(nullptr);

    std::printf("downloads: %d, records: %zu, built in %.1f s\n", downloads, report.records, built);
    std::printf("verify  %8.1f ms (%s)   read+hash images %8.1f ms (%zu)   ratio %.2f   %.1f us per download\n",
                check * 1e3, report.Clean() ? "no difference" : "DIFFERENCES", floor * 1e3, hashed, check / floor,
                check * 1e6 / downloads);
    fs::remove_all(dir);
    return report.Clean() ? 0 : 1;
}
