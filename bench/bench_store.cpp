// Stores and loads 100,000 measurements through the measurement store and
// through a bare prepared-statement loop in one transaction (the floor that
// SQLite itself sets), and prints the two ratios.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "BareSelect.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/StoredTimes.h"

using namespace zorvex;
namespace fs = std::filesystem;

namespace {

constexpr int kRecords = 100000;

TMeasureDataP MakeMatrix() {
    TMeasureDataP data;
    data.SetMethodBytes();
    const TDateTime start = EncodeDateTime(2012, 5, 1, 8, 0, 0, 0);
    for (int i = 0; i < kRecords; ++i) {
        TMeasureRecord r;
        r.kind = static_cast<std::uint8_t>(i % 5);
        r.number = i + 1;
        r.time = start + i / 86400.0;
        r.mvalue = 100.0 + (i % 977) * 0.25;
        r.evalue = r.kind == 0 ? 12.5 + (i % 31) : -1;
        r.mvalue2 = -1;
        r.evalue2 = -1;
        r.band = static_cast<std::uint8_t>(i % 2);
        data(i % 2, r.kind).Records.push_back(r);
    }
    return data;
}

double Seconds(const std::function<void()>& action) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        action();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void BareInsert(const std::string& file, const TMeasureDataP& data) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kInsertMeasurementSql, -1, &stmt, nullptr);
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k)
            for (const auto& r : data(m, k).Records) {
                const std::string time = StoredTime(r.time);
                sqlite3_bind_int(stmt, 1, m);
                sqlite3_bind_int(stmt, 2, k);
                sqlite3_bind_int(stmt, 3, r.number);
                sqlite3_bind_int(stmt, 4, r.workplace);
                sqlite3_bind_int(stmt, 5, r.height);
                sqlite3_bind_text(stmt, 6, time.c_str(), static_cast<int>(time.size() + 1), SQLITE_TRANSIENT);
                sqlite3_bind_double(stmt, 7, r.mvalue);
                sqlite3_bind_double(stmt, 8, r.mvalue2);
                sqlite3_bind_double(stmt, 9, r.evalue);
                sqlite3_bind_double(stmt, 10, r.evalue2);
                sqlite3_bind_int(stmt, 11, r.band);
                sqlite3_bind_int(stmt, 12, r.rejection);
                sqlite3_step(stmt);
                sqlite3_reset(stmt);
            }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

std::size_t BareSelect(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    const std::size_t rows = bench::BareSelect(db, "1=1");
    sqlite3_close(db);
    return rows;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "zorvex-bench-store";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string adapterFile = Utf8FromPath(dir / "adapter.db");
    const std::string bareFile = Utf8FromPath(dir / "bare.db");
    OpenDatabase(bareFile).reset();
    const TMeasureDataP source = MakeMatrix();

    const double barePut = Seconds([&] { BareInsert(bareFile, source); });
    const double put = Seconds([&] {
        TMeasureDataP data = source;
        TDBDataAdapter().PutData(data, adapterFile);
    });
    std::size_t rows = 0;
    const double bareGet = Seconds([&] { rows = BareSelect(bareFile); });
    const double get = Seconds([&] {
        TMeasureDataP data;
        TDBDataAdapter().GetData(adapterFile, data);
        rows = data.TotalRecords();
    });
    std::printf("records per call: %d (tables hold %zu rows after three runs)\n", kRecords, rows);
    std::printf("PutData   %7.1f ms   bare insert loop %7.1f ms   ratio %.2f\n", put * 1e3, barePut * 1e3,
                put / barePut);
    std::printf("GetData   %7.1f ms   bare select loop %7.1f ms   ratio %.2f\n", get * 1e3, bareGet * 1e3,
                get / bareGet);
    fs::remove_all(dir);
    return 0;
}
