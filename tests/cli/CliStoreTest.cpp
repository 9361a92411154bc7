#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawRows;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

class CliStore : public ::testing::Test {
protected:
    void SetUp() override {
        TMeasureDataP data;
        data.SetMethodBytes();
        auto add = [&](int method, int kind, TDateTime time, double m, double e, int band = 0) {
            TMeasureRecord r;
            r.kind = static_cast<std::uint8_t>(kind);
            r.number = static_cast<int>(data(method, kind).Records.size()) + 1;
            r.time = time;
            r.mvalue = m;
            r.evalue = e;
            r.mvalue2 = -1;
            r.evalue2 = -1;
            r.band = static_cast<std::uint8_t>(band);
            data(method, kind).Records.push_back(r);
        };
        add(0, 0, EncodeDateTime(2012, 5, 1, 8, 3, 7, 0), 5000, -1);
        add(0, 0, EncodeDateTime(2012, 5, 1, 23, 59, 59, 0), 0.1, 12.5);
        add(0, 1, EncodeDateTime(2012, 5, 2, 0, 0, 0, 0), 2.675, -1, 1);
        add(1, 4, EncodeDateTime(2012, 6, 3, 10, 0, 0, 0), -1, 2.5);
        TDBDataAdapter().PutData(data, dir.File("data.db"));
    }
    test::ProcessResult Cli(const std::vector<std::string>& args) {
        return RunProcess(ZORVEX_CLI_PATH, args, dir.path());
    }
    TempDir dir;
};

}  // namespace

TEST_F(CliStore, ListFormats) {
    const auto json = Cli({"list", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"method\":0,\"kind\":0,\"id\":1,\"number\":1,\"workplace\":0,\"height\":0,\"time\":\"2012-05-01 "
              "08:03:07\",\"mvalue\":5000,\"evalue\":-1,\"mvalue2\":-1,\"evalue2\":-1,\"band\":0,\"rejection\":0}\n"
              "{\"method\":0,\"kind\":0,\"id\":2,\"number\":2,\"workplace\":0,\"height\":0,\"time\":\"2012-05-01 "
              "23:59:59\",\"mvalue\":0.1,\"evalue\":12.5,\"mvalue2\":-1,\"evalue2\":-1,\"band\":0,\"rejection\":0}\n"
              "{\"method\":0,\"kind\":1,\"id\":3,\"number\":1,\"workplace\":0,\"height\":0,\"time\":\"2012-05-02 "
              "00:00:00\",\"mvalue\":2.675,\"evalue\":-1,\"mvalue2\":-1,\"evalue2\":-1,\"band\":1,"
              "\"rejection\":0}\n"
              "{\"method\":1,\"kind\":4,\"id\":4,\"number\":1,\"workplace\":0,\"height\":0,\"time\":\"2012-06-03 "
              "10:00:00\",\"mvalue\":-1,\"evalue\":2.5,\"mvalue2\":-1,\"evalue2\":-1,\"band\":0,\"rejection\":0}\n");

    const auto csv = Cli({"list", "--format", "csv", "--kind", "0"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "method;kind;id;number;workplace;height;time;mvalue;evalue;mvalue2;evalue2;band;rejection\r\n"
              "0;0;1;1;0;0;2012-05-01 08:03:07;5000;-1;-1;-1;0;0\r\n"
              "0;0;2;2;0;0;2012-05-01 23:59:59;0,1;12,5;-1;-1;0;0\r\n");

    const auto table = Cli({"list"});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("Однократные измерения, 50 Гц (2)"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("01.05.2012  08:03:07  5000.00"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("2.68           2кГц - 400кГц"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("Данные мониторинга, Электрическое поле (1)"), std::string::npos);
}

TEST_F(CliStore, FiltersAndDates) {
    struct Case {
        std::vector<std::string> args;
        std::size_t lines;
    } cases[] = {
        {{"--from", "2012-05-01", "--to", "2012-05-01"}, 2},  // includes 23:59:59 of the last day
        {{"--from", "2012-05-02"}, 2},
        {{"--to", "2012-05-01"}, 2},
        {{"--method", "1"}, 1},
        {{"--kind", "1", "--method", "0"}, 1},
        {{"--from", "2013-01-01"}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"list", "--format", "json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(static_cast<std::size_t>(std::count(r.out.begin(), r.out.end(), '\n')), c.lines) << c.args[0];
    }
    const auto dates = Cli({"dates"});
    EXPECT_EQ(dates.status, 0);
    EXPECT_EQ(dates.out, "2012-05-01\n2012-05-02\n2012-06-03\n");
}

TEST_F(CliStore, SaveAndOpenAFile) {
    const auto save = Cli({"save", "sub/set.zorvex", "--method", "0"});
    EXPECT_EQ(save.status, 1);  // the directory does not exist: an error, no file elsewhere
    std::filesystem::create_directory(dir.path() / "sub");
    const auto saved = Cli({"save", "sub/set.zorvex", "--method", "0"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.out, "Сохранено измерений: 3\n");
    const auto opened = Cli({"open", "sub/set.zorvex", "--format", "csv"});
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(std::count(opened.out.begin(), opened.out.end(), '\n'), 4);
    EXPECT_NE(opened.out.find("0;1;3;1;0;0;2012-05-02 00:00:00;2,675;"), std::string::npos);
}

TEST_F(CliStore, Levels) {
    auto r = Cli({"levels", "swtmflb=300", "ef50hz=450.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("swtmflb\t300\tСВТ Магнитное поле (5Гц - 2кГц)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ef50hz\t450.5\t"), std::string::npos);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"levels", "mf50hz=1", "nosuch=5"},
                                                {"levels", "mf50hz=7,5"}, {"levels", "mf50hz"}}) {
        r = Cli(bad);
        EXPECT_EQ(r.status, 2) << bad[1];
        EXPECT_FALSE(r.err.empty());
    }
    const auto rows = RawRows(dir.File("data.db"), "select value from maxlevels order by id");
    EXPECT_EQ(rows[1][0], "300.0");
    EXPECT_EQ(rows[5][0], "5000.0");  // untouched by the refused lines
    EXPECT_EQ(rows[6][0], "450.5");
}

TEST_F(CliStore, ErrorsAndUsage) {
    test::WriteFileBytes(dir.path() / "text.db", std::string(2048, 't'));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string errPart;
    } cases[] = {
        {{"open", "missing.zorvex"}, 1, "Файл не найден: missing.zorvex"},
        {{"open", "text.db"}, 1, "File opened that is not a database file"},
        {{"--db", "text.db", "list"}, 1, "Error [26]"},
        {{"list", "--bogus"}, 2, "неизвестный параметр --bogus"},
        {{"list", "--format", "xml"}, 2, "неизвестный формат"},
        {{"list", "--from", "2012-13-01"}, 2, "--from"},
        {{"frobnicate"}, 2, "неизвестная команда"},
        {{}, 2, "Использование"},
        {{"open"}, 2, "не указан файл"},
        {{"save", "data.db"}, 1, "основная база данных"},
    };
    for (const auto& c : cases) {
        const auto r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
    const auto help = Cli({"list", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--from ГГГГ-ММ-ДД"), std::string::npos);
}
