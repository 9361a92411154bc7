// The lab archive on PostgreSQL, by hand (make bench). A year of one
// workstation (1,000,000 measurements unless ZORVEX_LAB_PUSH_ROWS says
// otherwise) goes to the archive with `archive push`, against a bare COPY of
// the same rows into a table of the same columns and indexes in the same run;
// then the archive grows to ZORVEX_LAB_LIST_ROWS rows (10,000,000 unless set)
// and one day's `archive list` is timed against a bare select of that day.
// The server is a throw-away cluster on a Unix socket, or the database named
// by the connection string in ZORVEX_LAB_ARCHIVE.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "archive/ArchivePush.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "archive/PgConnection.h"
#include "base/DateTime.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "support/PgServer.h"
#include "support/TempDir.h"

using namespace zorvex;
using namespace zorvex::archive;

namespace {

long Setting(const char* name, long fallback) {
    const char* text = std::getenv(name);
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? value : fallback;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const TDateTime kFirstDay = EncodeDate(2026, 1, 1);

// A year of single measurements and monitoring records, evenly over the days.
void FillYear(TSQLiteDatabase& db, long rows) {
    db.RunInTransaction([&] {
        for (long i = 0; i < rows; ++i) {
            const TDateTime time = kFirstDay + static_cast<double>(i) * 365.0 / static_cast<double>(rows);
            const int method = i % 5 == 0 ? 0 : 1;
            const int kind = static_cast<int>(i % 5);
            db.Execute(kInsertMeasurementSql,
                       {method, kind, static_cast<std::int32_t>(i % 500), static_cast<std::int32_t>(i % 7),
                        static_cast<std::int32_t>(i % 4), StoredTime(time), 10.0 + static_cast<double>(i % 1000) * 0.25,
                        -1.0, 2.5, -1.0, static_cast<std::int32_t>(i % 2), 0});
        }
    });
}

// The floor: the same rows read from data.db and copied into a bare table
// with the archive's columns and indexes, nothing else.
double BareCopy(TPgConnection& conn, TSQLiteDatabase& db) {
    conn.Exec("drop table if exists floor_measurements");
    conn.Exec("create table floor_measurements (like measurements including all)");
    return Seconds([&] {
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(db.Handle(),
                           "select id, number, workplace, height, method, kind, time, mvalue, evalue, mvalue2, evalue2, "
                           "band, rejection from measurements order by id",
                           -1, &raw, nullptr);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
        std::string batch;
        const auto flush = [&] {
            if (batch.empty()) return;
            conn.CopyIn("copy floor_measurements (workstation, local_id, number, workplace, height, method, kind, time, "
                        "mvalue, evalue, mvalue2, evalue2, band, rejection) from stdin",
                        batch);
            batch.clear();
        };
        conn.Exec("insert into workstations (id, host, username) values ('floor', '', '') on conflict do nothing");
        conn.Begin();
        long n = 0;
        while (sqlite3_step(raw) == SQLITE_ROW) {
            batch += "floor";
            for (int c = 0; c < 13; ++c) {
                batch += '\t';
                if (c == 6) {
                    batch.append(reinterpret_cast<const char*>(sqlite3_column_text(raw, c)), 19);
                } else if (c >= 7 && c <= 10) {
                    batch += *TPgParam::Float(sqlite3_column_double(raw, c)).value;
                } else {
                    batch += std::to_string(sqlite3_column_int64(raw, c));
                }
            }
            batch += '\n';
            if (++n % 50000 == 0) flush();
        }
        flush();
        conn.Commit();
    });
}

}  // namespace

int main() {
    const long pushRows = Setting("ZORVEX_LAB_PUSH_ROWS", 1000000);
    const long listRows = Setting("ZORVEX_LAB_LIST_ROWS", 10000000);
    std::unique_ptr<test::PgServer> server;
    std::string conninfo;
    if (const char* given = std::getenv("ZORVEX_LAB_ARCHIVE")) {
        conninfo = given;
    } else {
        server = std::make_unique<test::PgServer>();
        if (!server->Available()) {
            std::printf("bench_lab_archive: %s\n", server->Problem().c_str());
            return 0;
        }
        TPgConnection::Connect(server->ConnInfo("postgres"))->Exec("create database bench");
        conninfo = server->ConnInfo("bench");
    }
    auto conn = TPgConnection::Connect(conninfo);
    InitArchive(*conn);

    test::TempDir dir;
    SetMainDatabase(OpenDatabase((dir.path() / "data.db").string()));
    std::printf("lab archive: building data.db with %ld measurements...\n", pushRows);
    FillYear(MainDatabase(), pushRows);

    const double floor = BareCopy(*conn, MainDatabase());
    TPushReport report;
    const double push = Seconds([&] { report = PushToArchive(*conn, MainDatabase()); });
    std::printf("push of one year (%lld rows): %.2f s; bare COPY of the same rows: %.2f s; ratio %.2f\n",
                static_cast<long long>(report.measurementsAdded), push, floor, push / floor);
    const double again = Seconds([&] { PushToArchive(*conn, MainDatabase()); });
    std::printf("push again with nothing new: %.3f s\n", again);
    conn->Exec("drop table floor_measurements");

    // The rest of the archive: other workstations' rows spread over ten years.
    const long have = conn->Exec("select count(*) from measurements").Int(0, 0);
    if (listRows > have) {
        std::printf("lab archive: growing the archive to %ld rows...\n", listRows);
        conn->Exec("insert into workstations (id, host, username) values ('other', 'other', 'bench') on conflict do nothing");
        const double grow = Seconds([&] {
            conn->Exec(
                "insert into measurements (workstation, local_id, number, workplace, height, method, kind, time, mvalue, "
                "evalue, mvalue2, evalue2, band, rejection) select 'other', g, g % 500, g % 7, g % 4, 1, (g % 5)::smallint, "
                "timestamp '2016-01-01' + (g::double precision * 3650 / $1::double precision) * interval '1 day', "
                "g % 1000 * 0.25, -1, 2.5, -1, (g % 2)::smallint, 0 from generate_series(1, $1::integer) g",
                {TPgParam::Integer(listRows - have)});
            conn->Exec("analyze measurements");
        });
        std::printf("grown in %.1f s\n", grow);
    }
    TArchiveFilter day;
    day.from = day.to = kFirstDay + 100;
    std::size_t found = 0;
    double best = 1e9, bestFloor = 1e9;
    for (int i = 0; i < 5; ++i) {
        best = std::min(best, Seconds([&] { found = ListArchiveMeasurements(*conn, day).size(); }));
        bestFloor = std::min(bestFloor, Seconds([&] {
                                 conn->Exec("select * from measurements where time >= $1::timestamp and time < "
                                            "$2::timestamp",
                                            {DayStart(day.from), DayAfter(day.to)});
                             }));
    }
    std::printf("archive list of one day (%zu rows of %ld): %.1f ms (target 50 ms); bare select of the day: %.1f ms\n",
                found, std::max(listRows, have), best * 1000, bestFloor * 1000);
    SetMainDatabase(nullptr);
    return 0;
}
