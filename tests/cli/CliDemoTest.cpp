#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "device/DemoMeter.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawRows;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

class CliDemo : public ::testing::Test {
protected:
    test::ProcessResult Cli(const std::vector<std::string>& args) { return RunProcess(ZORVEX_CLI_PATH, args, dir.path()); }
    std::string Rows(const std::string& where = "") {
        return RawRows(dir.File("data.db"), "select count(*) from measurements" + where).at(0).at(0);
    }
    TempDir dir;
};

}  // namespace

TEST_F(CliDemo, EitherLinkDownloadsTheWholeDemonstrationDayThroughTheShippedToolAndStoresItOnce) {
    const TMeasureDataP day = DemoMeasurements();
    const std::string n = std::to_string(day.TotalRecords());
    const struct {
        const char* link;
        std::string counts;
    } downloads[] = {
        {"--demo", "Новых записей: " + n + ", уже были в базе: 0\n"},
        // The same meter over the other link: its records are those stored.
        {"--demo=usb", "Новых записей: 0, уже были в базе: " + n + "\n"},
        {"--demo", "Новых записей: 0, уже были в базе: " + n + "\n"},
    };
    for (const auto& d : downloads) {
        SCOPED_TRACE(d.link);
        const auto r = Cli({d.link, "download"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Rows(), n);
        EXPECT_TRUE(r.out.ends_with(d.counts)) << r.out;
        for (int method = 0; method < kMethodCount; ++method)
            for (int kind = 0; kind < kKindCount; ++kind) {
                const std::string line = std::to_string(method) + "\t" + std::to_string(kind) + "\t" +
                                         std::to_string(day(method, kind).Records.size()) + "\t";
                EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
            }
    }
    const auto list = Cli({"list", "--method", "1", "--format", "json"});
    ASSERT_EQ(list.status, 0) << list.err;
    std::size_t monitoring = 0;
    for (int kind = 0; kind < kKindCount; ++kind) monitoring += day(1, kind).Records.size();
    EXPECT_EQ(static_cast<std::size_t>(std::count(list.out.begin(), list.out.end(), '\n')), monitoring);
}

TEST_F(CliDemo, PassportAndClearingWorkOnTheDemonstrationMeterForOneRun) {
    const auto passport = Cli({"--demo", "passport"});
    ASSERT_EQ(passport.status, 0) << passport.err;
    EXPECT_NE(passport.out.find("Серийный номер: " + std::to_string(DemoPassport().serialNumber) + "\n"),
              std::string::npos)
        << passport.out;
    EXPECT_NE(passport.out.find("Версия ПО: 2.3\n"), std::string::npos) << passport.out;

    EXPECT_EQ(Cli({"--demo", "clear-meter", "--yes"}).status, 0);
    // Each run of the tool attaches the demonstration meter afresh.
    ASSERT_EQ(Cli({"--demo", "download"}).status, 0);
    EXPECT_EQ(Rows(), std::to_string(DemoMeasurements().TotalRecords()));
}

TEST_F(CliDemo, WithoutTheOptionNothingIsSimulatedAndAnUnknownKindIsAUsageError) {
    const auto bad = Cli({"--demo=bluetooth", "download"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("«bluetooth»"), std::string::npos) << bad.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data.db"));
    const auto real = Cli({"download"});
    EXPECT_EQ(real.status, 1);
    EXPECT_NE(real.err.find("Устройство не найдено"), std::string::npos) << real.err;
}
