// The main window with big data: lays out and fills the table for 100,000
// single measurements of one kind, and rebuilds the history tree over
// 1,000,000 stored rows, each beside the floor measured in the same run.
// Runs offscreen; prints figures, asserts nothing.
#include <sqlite3.h>

#include <QApplication>
#include <QTabBar>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/DateTime.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/RunSettings.h"
#include "storage/DBDataAdapter.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "ui/grid/StringGrid.h"
#include "ui/main/Mainform.h"
#include "WindowTiming.h"

using namespace zorvex;
namespace fs = std::filesystem;

namespace {

// Resident and peak resident memory in MiB.
std::pair<double, double> Memory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    double rss = 0, peak = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::stod(line.substr(6)) / 1024.0;
        if (line.rfind("VmHWM:", 0) == 0) peak = std::stod(line.substr(6)) / 1024.0;
    }
    return {rss, peak};
}

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, error);
        sqlite3_free(error);
    }
}

// 1,000,000 rows over about three years, written the way the store writes them.
void FillMillion(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    Exec(db, "BEGIN");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kInsertMeasurementSql, -1, &stmt, nullptr);
    const TDateTime start = EncodeDateTime(2010, 1, 1, 0, 0, 0, 0);
    for (int i = 0; i < 1000000; ++i) {
        const std::string time = StoredTime(start + i * (1100.0 / 1000000.0));
        sqlite3_bind_int(stmt, 1, i % 2);
        sqlite3_bind_int(stmt, 2, i % 5);
        sqlite3_bind_int(stmt, 3, i);
        sqlite3_bind_int(stmt, 4, 0);
        sqlite3_bind_int(stmt, 5, 0);
        sqlite3_bind_text(stmt, 6, time.c_str(), static_cast<int>(time.size()) + 1, SQLITE_TRANSIENT);
        for (int v = 7; v <= 10; ++v) sqlite3_bind_double(stmt, v, 1.5);
        sqlite3_bind_int(stmt, 11, 0);
        sqlite3_bind_int(stmt, 12, 0);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

double BareDateQuery(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    const double seconds = bench::Seconds([&] {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select distinct date(time) as date from measurements order by time", -1, &stmt,
                           nullptr);
        int rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) ++rows;
        sqlite3_finalize(stmt);
    });
    sqlite3_close(db);
    return seconds;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ApplyRunSettings();
    QApplication app(argc, argv);
    ResetNumericLocale();

    const fs::path dir = fs::temp_directory_path() / "zorvex_bench_main_window";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string dbFile = Utf8FromPath(dir / "data.db");

    {
        TMainform form(dbFile);
        form.resize(965, 632);
        form.show();
        QApplication::processEvents();

        // ---- 100,000 single measurements of kind 0 ----
        constexpr int kRecords = 100000;
        TMeasureDataP data;
        data.SetMethodBytes();
        const TDateTime start = EncodeDateTime(2012, 5, 1, 8, 0, 0, 0);
        for (int i = 0; i < kRecords; ++i) {
            TMeasureRecord r;
            r.id = i + 1;
            r.number = i + 1;
            r.time = start + i / 86400.0;
            r.mvalue = 100.0 + (i % 977) * 5.25;
            r.evalue = i % 7 == 0 ? -1 : 12.5 + (i % 31);
            data(0, 0).Records.push_back(r);
        }
        const auto [rss0, peak0] = Memory();
        const double layout = bench::BestTableLayout(form, data, false);
        // One painted frame of the visible rows, as the user sees it.
        const double paint = bench::Seconds([&] { form.DataGrid->grab(); });
        const auto [rss1, peak1] = Memory();
        // Floor: formatting every cell text once, the least a grid that copies
        // the list into cells has to do.
        const double floor = bench::Seconds(
            [&] {
                std::size_t bytes = 0;
                for (const auto& r : data(0, 0).Records) {
                    bytes += QString::number(r.number).size() + QString::number(r.workplace).size();
                    bytes += FormatFixed(r.height / 2.0, 1).size() + DateToStr(r.time).size() +
                             TimeToStr(r.time).size() + FormatFixed(r.mvalue, 2).size() +
                             FormatFixed(r.evalue, 2).size();
                }
                if (bytes == 0) std::puts("");
            },
            1);
        std::printf("table, %d single measurements of kind 0:\n", kRecords);
        std::printf("  SetupDataGrid + FillDataGrid: %.1f ms (rows in grid: %d)\n", layout * 1000,
                    form.DataGrid->RowCount());
        std::printf("  one painted frame:            %.1f ms\n", paint * 1000);
        std::printf("  floor, formatting every cell: %.1f ms (ratio %.3f)\n", floor * 1000, layout / floor);
        std::printf("  memory: resident %.1f -> %.1f MiB, peak %.1f MiB (matrix in window and copy: %.1f MiB)\n", rss0,
                    rss1, peak1, 2.0 * kRecords * sizeof(TMeasureRecord) / 1048576.0);
        (void)peak0;
    }
    SetMainDatabase(nullptr);

    // ---- history tree over 1,000,000 rows ----
    FillMillion(dbFile);
    {
        TMainform form(dbFile);
        const double floor = BareDateQuery(dbFile);
        const double tree = bench::Seconds([&] { form.BuildDateTree(); });
        int days = 0;
        for (int y = 0; y < form.DateTree->topLevelItemCount(); ++y) {
            for (int m = 0; m < form.DateTree->topLevelItem(y)->childCount(); ++m) {
                days += form.DateTree->topLevelItem(y)->child(m)->childCount();
            }
        }
        std::printf("history tree, 1,000,000 rows, %d day nodes:\n", days);
        std::printf("  BuildDateTree:                %.1f ms\n", tree * 1000);
        std::printf("  floor, bare query:            %.1f ms (ratio %.2f)\n", floor * 1000, tree / floor);
        SetMainDatabase(nullptr);
    }
    {
        sqlite3* db = nullptr;
        sqlite3_open(dbFile.c_str(), &db);
        Exec(db, "create index if not exists measurements_time on measurements(time)");
        sqlite3_close(db);
        TMainform form(dbFile);
        const double query = BareDateQuery(dbFile);
        const double tree = bench::Seconds([&] { form.BuildDateTree(); });
        std::printf("  with an index on time: BuildDateTree %.1f ms, bare query %.1f ms\n", tree * 1000, query * 1000);
        SetMainDatabase(nullptr);
    }
    fs::remove_all(dir);
    return 0;
}
