#include <sqlite3.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <thread>

#include "app/cli/CliOutput.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "support/Platform.h"
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
    test::ProcessResult Cli(const std::vector<std::string>& args, const test::ProcessLimits& limits = {}) {
        return RunProcess(ZORVEX_CLI_PATH, args, dir.path(), limits);
    }
    std::string Scalar(const std::string& file, const std::string& sql) {
        const auto rows = RawRows(dir.File(file), sql);
        return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
    }
    // Names in the directory other than the database, e.g. a left-over temporary file.
    std::vector<std::string> OtherFiles() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename() != "data.db") names.push_back(Utf8FromPath(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
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
    const auto saved = Cli({"save", "sub/set.zorvex", "--method", "0"});  // the missing directory is made
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
    ASSERT_EQ(Cli({"dates"}).status, 0);  // the first opening adds the time index
    const std::string database = test::ReadFileBytes(dir.path() / "data.db");
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
        {{"downloads", "--format", "xml"}, 2, "неизвестный формат"},
        {{"downloads", "1"}, 2, "лишний аргумент «1»"},
        {{"list", "--kind", "5"}, 2, "--kind должно быть целым числом от 0 до 4: «5»"},
        {{"list", "--method", "-1"}, 2, "«-1»"},
        {{"levels", "mf50hz=1", "nosuch=5"}, 2, "«nosuch=5»"},
        {{"save", "out.zorvex", "--empty=1"}, 2, "--empty не принимает значения"},
    };
    for (const auto& c : cases) {
        const std::string name = c.args.empty() ? "(none)" : c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
        const auto r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << name;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << name << ": " << r.err;
        // A refused command changes nothing and prints nothing a script would take for a result.
        EXPECT_EQ(r.out, "") << name;
        // Compared as a whole, not printed: a database makes no readable message.
        EXPECT_TRUE(test::ReadFileBytes(dir.path() / "data.db") == database) << name << ": data.db changed";
        EXPECT_TRUE(test::ReadFileBytes(dir.path() / "text.db") == std::string(2048, 't')) << name << ": text.db changed";
        EXPECT_EQ(OtherFiles(), std::vector<std::string>{"text.db"}) << name;
    }
    const auto help = Cli({"list", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--from ГГГГ-ММ-ДД"), std::string::npos);
    const auto overall = Cli({"--help"});
    EXPECT_NE(overall.out.find("\n  downloads     загрузки из прибора"), std::string::npos) << overall.out;
    const auto downloadsHelp = Cli({"downloads", "--help"});
    EXPECT_NE(downloadsHelp.out.find("--format table|json|csv"), std::string::npos) << downloadsHelp.out;
}

TEST_F(CliStore, ADatabaseThatNeverKeptADownloadListsNone) {
    // data.db as the program wrote it before it kept downloads.
    for (const char* format : {"table", "json"}) {
        const auto r = Cli({"downloads", "--format", format});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "") << format;
    }
    const auto csv = Cli({"downloads", "--format", "csv"});
    EXPECT_EQ(csv.out, "id;time;link;serial;firmware;calibration;added;skipped;image\r\n");
    EXPECT_EQ(Scalar("data.db", "select count(*) from measurements"), "4");
}

TEST_F(CliStore, LastDayOfTheCalendarIsAnOrdinaryDay) {
    TMeasureDataP data;
    data.SetMethodBytes();
    TMeasureRecord last;
    last.kind = 3;
    last.time = EncodeDateTime(9999, 12, 31, 23, 59, 59, 0);
    last.mvalue = 7;
    data(0, 3).Records.push_back(last);
    TDBDataAdapter().PutData(data, dir.File("data.db"));  // appended: five records

    struct Case {
        std::vector<std::string> filter;
        std::size_t lines;
    } cases[] = {
        {{"--to", "9999-12-31"}, 5},
        {{"--from", "9999-12-31"}, 1},
        {{"--from", "2012-05-02", "--to", "9999-12-31"}, 3},
        {{"--from", "0001-01-01", "--to", "9999-12-30"}, 4},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"list", "--format", "json"};
        args.insert(args.end(), c.filter.begin(), c.filter.end());
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(static_cast<std::size_t>(std::count(r.out.begin(), r.out.end(), '\n')), c.lines)
            << c.filter[0] << " " << c.filter[1];
    }

    ASSERT_EQ(Cli({"save", "backup.zorvex"}).status, 0);
    const auto again = Cli({"save", "backup.zorvex", "--to", "9999-12-31"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "Сохранено измерений: 5\n");
    EXPECT_EQ(Scalar("backup.zorvex", "select count(*) from measurements"), "5");
}

TEST_F(CliStore, SaveNeverReplacesADirectoryOrTheDatabase) {
    std::filesystem::create_directory(dir.path() / "outdir");
    ASSERT_EQ(Cli({"dates"}).status, 0);  // the first opening adds the time index
    const std::string database = test::ReadFileBytes(dir.path() / "data.db");
    struct Case {
        std::string target;
        std::string errPart;
    };
    std::vector<Case> cases = {
        {"outdir/", "каталог, а не файл"},
        {"outdir", "каталог, а не файл"},
        {"", "Не указано имя файла"},
        {"data.db", "основная база данных"},
        {"./data.db", "основная база данных"},
    };
#ifndef _WIN32  // MinGW's std::filesystem makes no symbolic links
    std::filesystem::create_symlink("data.db", dir.path() / "link.db");
    cases.push_back({dir.File("link.db"), "основная база данных"});
#endif
    for (const auto& c : cases) {
        const auto r = Cli({"save", c.target});
        EXPECT_EQ(r.status, 1) << c.target;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << c.target << ": " << r.err;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "outdir"));
    EXPECT_EQ(test::ReadFileBytes(dir.path() / "data.db"), database);
#ifdef _WIN32
    EXPECT_EQ(OtherFiles(), (std::vector<std::string>{"outdir"}));
#else
    EXPECT_EQ(OtherFiles(), (std::vector<std::string>{"link.db", "outdir"}));
#endif
}

TEST_F(CliStore, SaveOnAFullDiskKeepsTheOldFile) {
    ZORVEX_POSIX_ONLY("a full disk is made with RLIMIT_FSIZE");
    ASSERT_EQ(Cli({"save", "backup.zorvex", "--method", "1"}).status, 0);
    const std::string old = test::ReadFileBytes(dir.path() / "backup.zorvex");
    test::ProcessLimits fullDisk;
    fullDisk.fileSizeLimit = 4096;  // one page: the new file's schema does not fit
    const auto r = Cli({"save", "backup.zorvex"}, fullDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Не удалось записать файл «backup.zorvex»\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(test::ReadFileBytes(dir.path() / "backup.zorvex"), old);
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"backup.zorvex"});
}

TEST_F(CliStore, LevelsAreSetAllOrNone) {
    test::RawExec(dir.File("data.db"),
                  "create trigger refuse before update on maxlevels when new.name like 'ef50hz' "
                  "begin select raise(abort, 'refused'); end");
    const auto r = Cli({"levels", "swtmflb=300", "ef50hz=450.5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_EQ(Scalar("data.db", "select value from maxlevels where name like 'swtmflb'"), "250.0");
    EXPECT_EQ(Scalar("data.db", "select value from maxlevels where name like 'ef50hz'"), "500.0");
}

TEST_F(CliStore, SettingALevelWhoseRowIsMissingRepairsTheFile) {
    test::RawExec(dir.File("data.db"), "delete from maxlevels where name like 'ef50hz'");
    const auto broken = Cli({"levels"});
    EXPECT_EQ(broken.status, 1);  // the missing row is still reported when only read
    const auto set = Cli({"levels", "ef50hz=450"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("ef50hz\t450"), std::string::npos) << set.out;
    EXPECT_EQ(Scalar("data.db", "select value from maxlevels where name like 'ef50hz'"), "450.0");
    EXPECT_EQ(Cli({"levels"}).status, 0);
}

TEST_F(CliStore, LevelsWaitForAnotherWriter) {
    // Another program on the same file holds its write lock for a second.
    using namespace std::chrono_literals;
    std::promise<bool> locked;
    std::thread other([&locked, file = dir.File("data.db")] {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        locked.set_value(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK);
        std::this_thread::sleep_for(1s);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
    const bool held = locked.get_future().get();
    const auto start = std::chrono::steady_clock::now();
    const auto r = Cli({"levels", "swtmflb=300"});
    const auto took = std::chrono::steady_clock::now() - start;
    other.join();
    ASSERT_TRUE(held);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GE(took, 800ms);  // it did meet the lock
    EXPECT_EQ(Scalar("data.db", "select value from maxlevels where name like 'swtmflb'"), "300.0");
}

TEST_F(CliStore, OutputThatCannotBeWrittenIsAnError) {
    ZORVEX_POSIX_ONLY("standard output on /dev/full");
    for (const std::string command : {"list --format csv", "dates", "open data.db"}) {
        const auto r = RunProcess("/bin/sh", {"-c", std::string("exec \"") + ZORVEX_CLI_PATH + "\" " + command + " > /dev/full"},
                                  dir.path());
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("не удалось записать вывод команды"), std::string::npos) << command << ": " << r.err;
    }
}

TEST_F(CliStore, AnEmptySelectionNeverReplacesAFileUnlessAsked) {
    ASSERT_EQ(Cli({"save", "backup.zorvex"}).status, 0);
    const std::string kept = test::ReadFileBytes(dir.path() / "backup.zorvex");

    // A date typed wrong selects nothing: the four measurements stay.
    const auto refused = Cli({"save", "backup.zorvex", "--from", "2031-05-01"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Не выбрано ни одного измерения: файл «backup.zorvex» не заменён"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("--empty"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(test::ReadFileBytes(dir.path() / "backup.zorvex") == kept) << "backup.zorvex changed";
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"backup.zorvex"});

    // A new file may be empty; an existing one only when asked.
    const auto fresh = Cli({"save", "none.zorvex", "--kind", "3"});
    EXPECT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_EQ(fresh.out, "Сохранено измерений: 0\n");
    EXPECT_EQ(Scalar("none.zorvex", "select count(*) from measurements"), "0");
    const auto asked = Cli({"save", "backup.zorvex", "--kind", "3", "--empty"});
    EXPECT_EQ(asked.status, 0) << asked.err;
    EXPECT_EQ(asked.out, "Сохранено измерений: 0\n");
    EXPECT_EQ(Scalar("backup.zorvex", "select count(*) from measurements"), "0");

    // A selection that holds measurements replaces the file as before.
    const auto refilled = Cli({"save", "backup.zorvex", "--method", "1"});
    EXPECT_EQ(refilled.status, 0) << refilled.err;
    EXPECT_EQ(Scalar("backup.zorvex", "select count(*) from measurements"), "1");
}

TEST_F(CliStore, RowsOutsideTheMatrixAreCountedOnStandardError) {
    const auto clean = Cli({"list", "--format", "json"});
    EXPECT_EQ(clean.err, "");  // nothing to report: no line at all
    // Method 2 and kind 7 have no cell; the window and the tool can show neither.
    test::RawExec(dir.File("data.db"),
                  "insert into measurements (method, kind, number, workplace, height, time, mvalue, mvalue2, evalue, "
                  "evalue2, band, rejection) values (2, 0, 1, 0, 0, '2012-05-01 09:00:00', 1, -1, 1, -1, 0, 0), "
                  "(1, 7, 2, 0, 0, '2012-06-03 10:01:00', 1, -1, 1, -1, 0, 0)");
    struct Case {
        std::vector<std::string> args;
        const char* skipped;  // rows the command selected but could not place
    } cases[] = {
        {{"list", "--format", "json"}, "2"},
        {{"list", "--from", "2012-06-01"}, "1"},
        {{"save", "set.zorvex"}, "2"},
        {{"stats"}, "1"},  // monitoring only: the method-2 row is not selected
    };
    for (const auto& c : cases) {
        const auto r = Cli(c.args);
        EXPECT_EQ(r.status, 0) << c.args[0] << ": " << r.err;
        EXPECT_EQ(r.err, std::string("Пропущено записей с недопустимым методом или видом: ") + c.skipped + "\n")
            << c.args[0];
    }
    EXPECT_EQ(Scalar("set.zorvex", "select count(*) from measurements"), "4");
    const auto listed = Cli({"list", "--format", "json"});
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 4);
    const auto none = Cli({"list", "--kind", "3"});
    EXPECT_EQ(none.err, "");
}

TEST_F(CliStore, DownloadsShowControlCharactersEscapedInEveryForm) {
    // An absolute name on the system, since the tool shows kept images by their full names.
#ifdef _WIN32
    static constexpr char kImageFolder[] = "C:\\d\\a", kJsonImageFolder[] = "C:\\\\d\\\\a";
#else
    static constexpr char kImageFolder[] = "/d/a", kJsonImageFolder[] = "/d/a";
#endif
    // Texts the meter or a crafted file put in the row: ESC [2J clears a
    // terminal, U+0098 (byte 0x98) is a C1 control, a line break forges a row.
    ASSERT_EQ(Cli({"dates"}).status, 0);
    test::RawExec(dir.File("data.db"),
                  "create table if not exists downloads (id integer primary key autoincrement, time datetime, "
                  "link text, serialnumber integer, firmware text, calibrationdate datetime, added integer, "
                  "skipped integer, imagefile text);"
                  "insert into downloads (time, link, serialnumber, firmware, calibrationdate, added, skipped, "
                  "imagefile) values ('2012-05-01 08:00:00', 'usb' || char(7), 1207, '1' || char(27) || '[2J' || "
                  "cast(x'98' as text) || '2', '2011-03-04 00:00:00', 3, 0, '" + std::string(kImageFolder) + "' || char(13) || "
                  "char(10) || 'b;c.bin')");
    struct Case {
        std::vector<std::string> format;
        std::vector<std::string> parts;
    } cases[] = {
        {{}, {"usb\\x07", "1\\x1b[2J\\x982", std::string(kImageFolder) + "\\x0d\\x0ab;c.bin"}},
        {{"--format", "json"}, {"\"link\":\"usb\\u0007\"", "\"firmware\":\"1\\u001b[2J\\u00982\"",
                                "\"image\":\"" + std::string(kJsonImageFolder) + "\\u000d\\u000ab;c.bin\""}},
        {{"--format", "csv"},
         {";usb\\x07;1207;1\\x1b[2J\\x982;", ";\"" + std::string(kImageFolder) + "\\x0d\\x0ab;c.bin\"\r\n"}},
        {{"--format", "csv", "--utf8"}, {";1\\x1b[2J\\x982;"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"downloads"};
        args.insert(args.end(), c.format.begin(), c.format.end());
        const std::string name = c.format.empty() ? "table" : c.format.back();
        const auto r = Cli(args);
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        for (const auto& part : c.parts) EXPECT_NE(r.out.find(part), std::string::npos) << name << ": " << r.out;
        // No control byte but the line ends, no C1 control in UTF-8 (C2 80..9F) or code page 1251 (98).
        for (std::size_t i = 0; i < r.out.size(); ++i) {
            const auto byte = static_cast<unsigned char>(r.out[i]);
            const auto next = i + 1 < r.out.size() ? static_cast<unsigned char>(r.out[i + 1]) : 0;
            const bool lineEnd = byte == '\n' || (byte == '\r' && next == '\n');
            EXPECT_TRUE(lineEnd || (byte >= 0x20 && byte != 0x7F)) << name << " byte " << int{byte} << " at " << i;
            EXPECT_FALSE(byte == 0xC2 && next >= 0x80 && next <= 0x9F) << name << " at " << i;
            if (name == "csv") {
                EXPECT_NE(byte, 0x98) << name << " at " << i;
            }
        }
    }
}

TEST_F(CliStore, TestDataRefusesValuesOutsideTheirRanges) {
    ASSERT_EQ(Cli({"dates"}).status, 0);
    const std::string database = test::ReadFileBytes(dir.path() / "data.db");
    // Each value was once cut to its low byte and stored: 256 became kind 0, -1 became 255.
    struct Case {
        const char* option;
        const char* value;
    } cases[] = {
        {"--kind", "256"}, {"--kind", "-1"},      {"--kind", "5"},   {"--method", "2"},
        {"--method", "256"}, {"--band", "3"},     {"--band", "258"}, {"--rejection", "2"},
        {"--rejection", "-255"}, {"--kind", "1x"},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> values = {{"--method", "0"}, {"--kind", "3"}, {"--band", "0"},
                                                     {"--rejection", "0"}};
        values[c.option] = c.value;
        std::vector<std::string> args = {"test-data"};
        for (const auto& [option, value] : values) args.insert(args.end(), {option, value});
        const std::string name = std::string(c.option) + " " + c.value;
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find(c.option), std::string::npos) << name << ": " << r.err;
        EXPECT_NE(r.err.find(std::string("«") + c.value + "»"), std::string::npos) << name << ": " << r.err;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_TRUE(test::ReadFileBytes(dir.path() / "data.db") == database) << name << ": data.db changed";
    }
    // The top of every range is taken.
    const auto r = Cli({"test-data", "--method", "1", "--kind", "4", "--band", "2", "--rejection", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Scalar("data.db", "select count(*) from measurements where method = 1 and kind = 4 and band = 2 and "
                                "rejection = 1"),
              "6");
}

TEST(CliOutput, JsonNumbersAreNeverNanOrInfinite) {
    using zorvex::cli::JsonNumber;
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::optional<double> value;
        const char* text;
    } cases[] = {
        {std::nullopt, "null"}, {std::numeric_limits<double>::quiet_NaN(), "null"}, {-std::nan(""), "null"},
        {inf, "null"},          {-inf, "null"},                                     {1e308, "1e+308"},
        {-0.1, "-0.1"},         {2.675, "2.675"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonNumber(c.value), c.text) << (c.value ? *c.value : 0);
        if (c.value) {
            EXPECT_EQ(JsonNumber(*c.value), c.text) << *c.value;
        }
    }
}
