// A decade of a busy lab: builds an archive of ZORVEX_ARCHIVE_ROWS measurements
// (10,000,000 unless set) over ten years with a bare insert loop, installs it
// as the main database and times what the history tree and the measurement
// store do with it (the tree, opening a day, a month and a year) against bare
// SQLite loops over the same rows, with the memory each load takes, and (in
// builds with the window) laying the loaded year out in the main window's table.
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BareSelect.h"
#include "WindowTiming.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#ifdef ZORVEX_BENCH_WINDOW
#include <QApplication>

#include "ui/main/Mainform.h"
#endif
#if __has_include("storage/TimeIndex.h")
#include "storage/TimeIndex.h"
#define ZORVEX_HAS_TIME_INDEX 1
#endif

using namespace zorvex;
namespace fs = std::filesystem;

namespace {

constexpr long kDefaultRows = 10000000;
constexpr int kDays = 3650;
const TDateTime kFirstDay = EncodeDate(2015, 1, 1);

long ArchiveRows() {
    const char* text = std::getenv("ZORVEX_ARCHIVE_ROWS");
    const long rows = text ? std::atol(text) : kDefaultRows;
    return rows > 0 ? rows : kDefaultRows;
}

double ResidentMb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Busy days and quiet ones: weights 1..4 in a fixed pattern, scaled so the
// days together hold `rows`.
std::vector<long> RowsPerDay(long rows) {
    std::vector<double> weight(kDays);
    double total = 0;
    for (int d = 0; d < kDays; ++d) total += weight[d] = 1.0 + (d * 7919 % 31) / 10.0;
    std::vector<long> count(kDays);
    double cumulative = 0;
    long given = 0;
    for (int d = 0; d < kDays; ++d) {
        cumulative += weight[d];
        const long upTo = static_cast<long>(static_cast<double>(rows) * cumulative / total + 0.5);
        count[d] = upTo - given;
        given = upTo;
    }
    return count;
}

void BuildArchive(const std::string& file, long rows) {
    OpenDatabase(file).reset();  // the program's schema
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kInsertMeasurementSql, -1, &stmt, nullptr);
    const std::vector<long> perDay = RowsPerDay(rows);
    long i = 0;
    for (int d = 0; d < kDays; ++d) {
        // Spread over the working day, never past midnight.
        const double step = std::min(1.0 / 86400.0, (15.0 / 24.0) / static_cast<double>(std::max(perDay[d], 1L)));
        for (long n = 0; n < perDay[d]; ++n, ++i) {
            const int method = i % 7 < 5 ? 0 : 1;  // fewer of the second method
            const int kind = static_cast<int>(i / 3 % 5);
            const std::string time = StoredTime(kFirstDay + d + 8.0 / 24.0 + static_cast<double>(n) * step);
            sqlite3_bind_int(stmt, 1, method);
            sqlite3_bind_int(stmt, 2, kind);
            sqlite3_bind_int(stmt, 3, static_cast<int>(n % 500 + 1));
            sqlite3_bind_int(stmt, 4, static_cast<int>(i % 40));
            sqlite3_bind_int(stmt, 5, static_cast<int>(i % 3) * 50 + 50);
            sqlite3_bind_text(stmt, 6, time.c_str(), static_cast<int>(time.size() + 1), SQLITE_TRANSIENT);
            sqlite3_bind_double(stmt, 7, 10.0 + static_cast<double>(i % 9973) * 0.125);
            sqlite3_bind_double(stmt, 8, kind == 0 ? 0.5 + static_cast<double>(i % 97) * 0.01 : -1.0);
            sqlite3_bind_double(stmt, 9, kind == 0 ? 12.5 + static_cast<double>(i % 31) : -1.0);
            sqlite3_bind_double(stmt, 10, -1.0);
            sqlite3_bind_int(stmt, 11, static_cast<int>(i % 2));
            sqlite3_bind_int(stmt, 12, i % 101 == 0 ? 1 : 0);
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}


std::size_t BareDays(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "select distinct date(time) as date from measurements order by time", -1, &stmt, nullptr);
    std::vector<std::string> days;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        days.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return days.size();
}

void Report(const char* what, double ms, double floorMs, std::size_t rows, const char* floorName) {
    std::printf("%-12s %9.1f ms   %s %9.1f ms   ratio %5.2f   (%zu rows)\n", what, ms, floorName, floorMs, ms / floorMs,
                rows);
}

void Load(sqlite3* bare, const char* what, TDateTime firstDay, TDateTime lastDay, int runs) {
    const std::string filter = StoredDaysFilter(firstDay, lastDay);
    std::size_t rows = 0;
    const double floor = bench::Seconds([&] { rows = bench::BareSelect(bare, filter); }, runs);
    const double get = bench::Seconds(
        [&] {
            TMeasureDataP data;
            TDBDataAdapter adapter;
            adapter.Filter = filter;
            adapter.GetData("", data);
            rows = data.TotalRecords();
        },
        runs);
    Report(what, get * 1e3, floor * 1e3, rows, "bare select");
    // Held while measured: what the loaded matrix costs, not the archive.
    // Freed memory goes back to the system first, or the load reuses it
    // unseen.
    malloc_trim(0);
    const double before = ResidentMb();
    TMeasureDataP data;
    TDBDataAdapter adapter;
    adapter.Filter = filter;
    adapter.GetData("", data);
    const double after = ResidentMb();
    std::printf("%-12s RSS %8.1f MB -> %8.1f MB   (+%.1f MB, %.0f bytes a row)\n", "", before, after, after - before,
                rows ? (after - before) * 1024.0 * 1024.0 / static_cast<double>(rows) : 0.0);
}

#ifdef ZORVEX_BENCH_WINDOW
// The loaded year handed to the main window, which lays out and fills its
// table; the grid makes cell texts on demand, so the cost follows the list on
// view, not the archive.
void LoadIntoTable(const std::string& file, TDateTime firstDay, TDateTime lastDay) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "bench_archive";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    TMainform form(file);
    TMeasureDataP data;
    TDBDataAdapter adapter;
    adapter.Filter = StoredDaysFilter(firstDay, lastDay);
    adapter.GetData("", data);
    std::size_t largest = 0;
    for (int kind = 0; kind < kKindCount; ++kind)
        largest = std::max(largest, data(kMethodSingle, kind).Records.size());
    malloc_trim(0);
    const double before = ResidentMb();
    const double best = bench::BestTableLayout(form, data, true);
    std::printf("%-12s %9.1f ms   SetupDataGrid + FillDataGrid of the year (%zu records, largest list %zu)\n",
                "table", best * 1e3, data.TotalRecords(), largest);
    std::printf("%-12s RSS %8.1f MB -> %8.1f MB with the window holding the year\n", "", before, ResidentMb());
}
#endif

}  // namespace

int main() {
    const long rows = ArchiveRows();
    const fs::path dir = fs::temp_directory_path() / "zorvex-bench-archive";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string file = Utf8FromPath(dir / "archive.db");

    const double build = bench::Seconds([&] { BuildArchive(file, rows); }, 1);
    std::printf("archive: %ld rows over %d days, built in %.1f s (bare insert loop, one transaction), %.0f MB\n", rows,
                kDays, build, static_cast<double>(fs::file_size(PathFromUtf8(file))) / (1024.0 * 1024.0));
    const double install = bench::Seconds([&] { SetMainDatabase(OpenDatabase(file)); }, 1);
    std::printf("installed as the main database in %.1f s, %.0f MB on disk\n", install,
                static_cast<double>(fs::file_size(PathFromUtf8(file))) / (1024.0 * 1024.0));

    sqlite3* bare = nullptr;
    sqlite3_open(file.c_str(), &bare);
    std::size_t days = 0;
    const double bareTree = bench::Seconds([&] { days = BareDays(bare); }, 1);
#ifdef ZORVEX_HAS_TIME_INDEX
    const double tree = bench::Seconds([&] { days = StoredDays(MainDatabase()).size(); });
    Report("tree", tree * 1e3, bareTree * 1e3, days, "distinct scan");
#else
    std::vector<std::string> list;
    const double tree = bench::Seconds([&] {
        list.clear();
        MainDatabase().ColumnTexts("select distinct date(time) as date from measurements order by time", list);
    });
    Report("tree", tree * 1e3, bareTree * 1e3, list.size(), "bare distinct");
#endif

    // The middle of the archive, away from its first and last days.
    Load(bare, "day", kFirstDay + 1826, kFirstDay + 1826, 3);
    Load(bare, "month", EncodeDate(2020, 3, 1), EncodeDate(2020, 3, 31), 3);
    Load(bare, "year", EncodeDate(2020, 1, 1), EncodeDate(2020, 12, 31), 1);

#ifdef ZORVEX_BENCH_WINDOW
    LoadIntoTable(file, EncodeDate(2020, 1, 1), EncodeDate(2020, 12, 31));
#endif

    sqlite3_close(bare);
    SetMainDatabase(nullptr);
    fs::remove_all(dir);
    return 0;
}
