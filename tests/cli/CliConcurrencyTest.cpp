// Two of the program's own processes on one database at the same moment, as a
// script and a second script (or the window) started together.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/DateTime.h"
#include "device/ImageBuilder.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::ProcessResult;
using zorvex::test::RawRows;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

// A meter memory of four single measurements and a monitoring run of three,
// on the given day of May 2012.
std::string SampleImage(int day) {
    TMeasureDataP data;
    data.SetMethodBytes();
    for (int i = 0; i < 4; ++i) {
        TMeasureRecord r;
        r.number = i + 1;
        r.kind = 0;
        r.time = EncodeDateTime(2012, 5, day, 9, 0, i, 0);
        r.mvalue = 100 + i;
        r.evalue = 10 + i;
        data(0, 0).Records.push_back(r);
    }
    for (int i = 0; i < 3; ++i) {
        TMeasureRecord r;
        r.kind = 1;
        r.time = EncodeDateTime(2012, 5, day, 10, 0, 0, 0) + i * 10 / 86400.0;
        r.mvalue = 200 + i;
        r.evalue = -1;
        data(1, 1).Records.push_back(r);
    }
    const auto image = BuildImage(data);
    return std::string(image.begin(), image.end());
}
constexpr int kImageRecords = 7;

struct Pair {
    ProcessResult first, second;
};

class CliConcurrency : public ::testing::Test {
protected:
    // Runs both command lines at once in `dir`.
    static Pair Together(const TempDir& dir, const std::vector<std::string>& a, const std::vector<std::string>& b) {
        Pair results;
        const test::ProcessLimits limits{std::nullopt, std::chrono::seconds(20)};
        std::thread other([&] { results.second = RunProcess(ZORVEX_CLI_SIM_PATH, b, dir.path(), limits); });
        results.first = RunProcess(ZORVEX_CLI_SIM_PATH, a, dir.path(), limits);
        other.join();
        return results;
    }
    // Repeats a round, each in a fresh directory, for a few seconds: a clash
    // of two processes depends on timing, so one round proves little.
    static void Rounds(const std::function<void(const TempDir&, int)>& round) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        for (int r = 0; r < 6 || (r < 30 && std::chrono::steady_clock::now() < end); ++r) {
            SCOPED_TRACE("round " + std::to_string(r));
            TempDir dir;
            test::WriteFileBytes(dir.path() / "meter.bin", SampleImage(2));
            round(dir, r);
            if (HasFailure()) return;
        }
    }
    // A database that has kept a download before, as a lab's data.db has:
    // its download tables exist, so a download's transaction begins by
    // reading.
    static void KeptDownloadBefore(const TempDir& dir) {
        test::WriteFileBytes(dir.path() / "before.bin", SampleImage(1));
        const ProcessResult r = RunProcess(ZORVEX_CLI_SIM_PATH, {"download", "--image", "before.bin"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    static std::string One(const TempDir& dir, const std::string& sql) {
        return RawRows(dir.File("data.db"), sql).at(0).at(0);
    }
    static void ExpectBothSucceeded(const Pair& p) {
        EXPECT_EQ(p.first.status, 0) << p.first.err;
        EXPECT_EQ(p.second.status, 0) << p.second.err;
    }
};

}  // namespace

TEST_F(CliConcurrency, TwoDownloadsOfOneImageStoreEveryRecordOnce) {
    const std::vector<std::string> download = {"download", "--image", "meter.bin"};
    Rounds([&](const TempDir& dir, int) {
        KeptDownloadBefore(dir);
        const Pair p = Together(dir, download, download);
        ExpectBothSucceeded(p);
        EXPECT_EQ(One(dir, "select count(*) from measurements"), std::to_string(2 * kImageRecords));
        EXPECT_EQ(One(dir, "select count(*) from (select distinct method, kind, time, mvalue from measurements)"),
                  std::to_string(2 * kImageRecords));
        EXPECT_EQ(One(dir, "select count(*) from downloads"), "3");
    });
}

TEST_F(CliConcurrency, ADownloadAndALevelsWriteBothSucceed) {
    Rounds([&](const TempDir& dir, int r) {
        KeptDownloadBefore(dir);
        const std::string value = std::to_string(1000 + r);
        const Pair p = Together(dir, {"download", "--image", "meter.bin"}, {"levels", "mf50hz=" + value});
        ExpectBothSucceeded(p);
        EXPECT_EQ(One(dir, "select count(*) from measurements"), std::to_string(2 * kImageRecords));
        EXPECT_EQ(One(dir, "select value from maxlevels where name like 'mf50hz'"), value + ".0");
    });
}

// Neither finds a data.db: one creates the schema, the other finds it and
// goes on, a reader as well as a writer.
TEST_F(CliConcurrency, TwoProgramsStartingOnANewDatabaseShareOneSchema) {
    Rounds([&](const TempDir& dir, int r) {
        const Pair p = r % 2 == 0 ? Together(dir, {"levels", "mf50hz=1"}, {"list"})
                                  : Together(dir, {"download", "--image", "meter.bin"}, {"download", "--image",
                                                                                          "meter.bin"});
        ExpectBothSucceeded(p);
        EXPECT_EQ(One(dir, "select count(*) from sqlite_master where type = 'table' and name in ('measurements', "
                           "'protocollists', 'protocols', 'maxlevels', 'devices', 'techdocs', 'orgs', 'workplaces', "
                           "'checkgoals', 'checkplaces', 'presenters')"),
                  "11");
        EXPECT_EQ(One(dir, "select count(*) from maxlevels"), "7");
        if (r % 2 == 0)
            EXPECT_EQ(One(dir, "select value from maxlevels where name like 'mf50hz'"), "1.0");
        else
            EXPECT_EQ(One(dir, "select count(*) from measurements"), std::to_string(kImageRecords));
    });
}
