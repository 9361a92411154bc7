// The command-line tool on files and folders with Russian names (and names
// beyond code page 1251): every file it makes is found on disk under the bytes
// of the name it was given, and reads back.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "device/DemoMeter.h"
#include "protocol/ProtocolSession.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/Platform.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::NamesIn;
using zorvex::test::Sorted;
using zorvex::test::RawRows;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

namespace fs = std::filesystem;

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The days of the demonstration meter's records, as `dates` prints them.
std::string DemoDates() {
    std::set<std::string> days;
    const TMeasureDataP day = DemoMeasurements();
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind)
            for (const TMeasureRecord& r : day(method, kind).Records) {
                const DateParts d = DecodeDate(r.time);
                char text[16];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
                days.insert(text);
            }
    std::string lines;
    for (const std::string& d : days) lines += d + "\n";
    return lines;
}

// The records of one stored protocol, as the window stores them, in the
// folder of `database`.
void StoreProtocol(const std::string& database, const std::string& number) {
    SetMainDatabase(OpenDatabase(database));
    PromptsScope promptsScope(std::make_shared<test::ScriptedPrompts>());
    TMeasureDataP data;
    data.SetMethodBytes();
    for (const int workplace : {3, 4}) {
        TMeasureRecord r;
        r.kind = kKindMagnetic;
        r.number = workplace;
        r.workplace = workplace;
        r.height = 2;
        r.time = EncodeDateTime(2026, 3, 17, 10, workplace, 0, 0);
        r.mvalue = 120 + workplace;
        data(kMethodSingle, kKindMagnetic).Records.push_back(r);
    }
    TProtocolSession session = NewProtocolSession(data);
    TProtocolFields fields;
    fields.SetDate(EncodeDate(2026, 3, 17));
    PrepareEditor(session, fields);
    fields.SetFieldText("Edit0", number);
    fields.SetFieldText("Edit1", "ООО «Иван и партнёры»");
    const bool stored = FormProtocol(session, fields) == TFormOutcome::Stored;
    SetMainDatabase(nullptr);
    ASSERT_TRUE(stored);
}

// The tool started in "Лаборатория/Замеры" inside a fresh directory.
class CliCyrillicNames : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(work); }
    test::ProcessResult Cli(const std::vector<std::string>& args) { return RunProcess(ZORVEX_CLI_PATH, args, work); }
    // A name inside the working directory, as a UTF-8 string.
    // The full name as the tool shows it, in the system's separators.
    std::string At(const std::string& name) const { return Utf8FromPath((work / PathFromUtf8(name)).make_preferred()); }

    TempDir dir;
    fs::path work = dir.path() / PathFromUtf8("Лаборатория/Замеры");
};

}  // namespace

TEST_F(CliCyrillicNames, ADatabaseNamedInRussianHoldsTheDownloadAndItsImageBesideIt) {
    const std::string n = std::to_string(DemoMeasurements().TotalRecords());
    const auto download = Cli({"--db", "база.db", "--demo", "download"});
    ASSERT_EQ(download.status, 0) << download.err;
    EXPECT_TRUE(download.out.ends_with("Новых записей: " + n + ", уже были в базе: 0\n")) << download.out;
    EXPECT_EQ(NamesIn(work), Sorted({"база.db", "downloads"}));
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"Лаборатория"}));
    EXPECT_EQ(RawRows(At("база.db"), "select count(*) from measurements").at(0).at(0), n);

    // The kept memory image is beside the database and decodes to what was stored.
    const std::vector<std::string> images = NamesIn(work / "downloads");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(images[0].ends_with("-" + std::to_string(DemoPassport().serialNumber) + ".bin")) << images[0];
    const std::string image = At("downloads/" + images[0]);
    const std::vector<std::uint8_t> memory = DemoMemoryImage();
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(image)), std::string(memory.begin(), memory.end()));
    const auto decoded = Cli({"decode", "downloads/" + images[0], "--format", "json"});
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(std::to_string(Lines(decoded.out)), n);
    // The download's row names the image by the path it has on disk.
    const auto downloads = Cli({"--db", "база.db", "downloads", "--format", "json"});
    ASSERT_EQ(downloads.status, 0) << downloads.err;
    EXPECT_NE(downloads.out.find(test::JsonBackslashes(image)), std::string::npos) << downloads.out;

    // The same database under its relative and its absolute name, from another directory.
    const struct {
        const char* name;
        std::string db;
        fs::path from;
    } readers[] = {
        {"relative", "база.db", work},
        {"absolute from elsewhere", At("база.db"), dir.path()},
        {"relative from the parent", "Замеры/база.db", work.parent_path()},
    };
    for (const auto& r : readers) {
        SCOPED_TRACE(r.name);
        const auto list = RunProcess(ZORVEX_CLI_PATH, {"--db", r.db, "list", "--format", "json"}, r.from);
        ASSERT_EQ(list.status, 0) << list.err;
        EXPECT_EQ(std::to_string(Lines(list.out)), n);
        const auto dates = RunProcess(ZORVEX_CLI_PATH, {"--db", r.db, "dates"}, r.from);
        ASSERT_EQ(dates.status, 0) << dates.err;
        EXPECT_EQ(dates.out, DemoDates());
    }
    // As CSV: a heading and a row per record, each line ended by CR LF once.
    const auto csv = Cli({"--db", "база.db", "list", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(std::to_string(Lines(csv.out) - 1), n);
    std::size_t crlf = 0;
    for (std::size_t at = csv.out.find("\r\n"); at != std::string::npos; at = csv.out.find("\r\n", at + 2)) ++crlf;
    EXPECT_EQ(crlf, Lines(csv.out));
    EXPECT_EQ(csv.out.find("\r\r"), std::string::npos);
    // Nothing else was made anywhere, no data.db in particular.
    EXPECT_EQ(NamesIn(work), Sorted({"база.db", "downloads"}));
    EXPECT_EQ(NamesIn(work.parent_path()), (std::vector<std::string>{"Замеры"}));
}

TEST_F(CliCyrillicNames, AMemoryImageUnderARussianNameIsReadAsTheMeter) {
    const std::vector<std::uint8_t> memory = DemoMemoryImage();
    const std::string bytes(memory.begin(), memory.end());
    const std::string n = std::to_string(DemoMeasurements().TotalRecords());
    const struct {
        const char* folder;
        const char* image;
        const char* database;
    } cases[] = {
        {"Образы прибора", "память № 1.bin", "из образа.db"},
        {"日本", "メモリ.bin", "日本/データ.db"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        const std::string image = std::string(c.folder) + "/" + c.image;
        fs::create_directories(work / PathFromUtf8(c.folder));
        test::WriteFileBytes(PathFromUtf8(At(image)), bytes);
        const auto decoded = Cli({"decode", image, "--format", "json"});
        ASSERT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(std::to_string(Lines(decoded.out)), n);
        const auto passport = Cli({"--db", c.database, "passport", "--image", image});
        ASSERT_EQ(passport.status, 0) << passport.err;
        EXPECT_NE(passport.out.find("Серийный номер: " + std::to_string(DemoPassport().serialNumber) + "\n"),
                  std::string::npos)
            << passport.out;
        // Read as the meter over the driver link: stored, and the memory kept beside the database.
        const auto download = Cli({"--db", c.database, "download", "--image", image});
        ASSERT_EQ(download.status, 0) << download.err;
        EXPECT_TRUE(download.out.ends_with("Новых записей: " + n + ", уже были в базе: 0\n")) << download.out;
        const fs::path kept = PathFromUtf8(At(c.database)).parent_path() / "downloads";
        const std::vector<std::string> images = NamesIn(kept);
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(test::ReadFileBytes(kept / PathFromUtf8(images[0])), bytes);
    }
    EXPECT_EQ(NamesIn(work), Sorted({"Образы прибора", "日本", "из образа.db", "downloads"}));
    EXPECT_EQ(NamesIn(work / PathFromUtf8("Образы прибора")), Sorted({"память № 1.bin"}));
    EXPECT_EQ(NamesIn(work / PathFromUtf8("日本")), Sorted({"メモリ.bin", "データ.db", "downloads"}));
}

TEST_F(CliCyrillicNames, MeasurementFilesAreWrittenUnderTheirNamesAndOpenAgain) {
    ASSERT_EQ(Cli({"--db", "база.db", "--demo", "download"}).status, 0);
    fs::create_directories(work / PathFromUtf8("Отчёты Ивана"));
    fs::create_directories(work / PathFromUtf8("日本"));
    const auto all = Cli({"--db", "база.db", "list", "--format", "json"});
    ASSERT_EQ(all.status, 0) << all.err;
    const auto singles = Cli({"--db", "база.db", "list", "--method", "0", "--format", "json"});
    ASSERT_EQ(singles.status, 0) << singles.err;
    ASSERT_NE(Lines(singles.out), Lines(all.out));  // the two files must differ to tell them apart

    const struct {
        const char* folder;
        const char* file;
        std::vector<std::string> filters;
        std::string expected;  // what `list` printed for the same selection
    } cases[] = {
        {"", "замеры № 5.zorvex", {}, all.out},
        {"Отчёты Ивана", "однократные «офис».zorvex", {"--method", "0"}, singles.out},
        {"日本", "データ.zorvex", {}, all.out},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string name = std::string(c.folder) + (*c.folder ? "/" : "") + c.file;
        std::vector<std::string> args = {"--db", "база.db", "save", name};
        args.insert(args.end(), c.filters.begin(), c.filters.end());
        const auto save = Cli(args);
        ASSERT_EQ(save.status, 0) << save.err;
        const std::vector<std::string> there = NamesIn(work / PathFromUtf8(c.folder));
        EXPECT_NE(std::find(there.begin(), there.end(), c.file), there.end());
        const auto open = Cli({"--db", "база.db", "open", name, "--format", "json"});
        ASSERT_EQ(open.status, 0) << open.err;
        EXPECT_EQ(Lines(open.out), Lines(c.expected));
        EXPECT_EQ(RawRows(At(name), "select count(*) from measurements").at(0).at(0),
                  std::to_string(Lines(c.expected)));
    }
    EXPECT_EQ(NamesIn(work), Sorted({"downloads", "база.db", "замеры № 5.zorvex", "日本", "Отчёты Ивана"}));
    EXPECT_EQ(NamesIn(work / PathFromUtf8("Отчёты Ивана")), Sorted({"однократные «офис».zorvex"}));
    EXPECT_EQ(NamesIn(work / PathFromUtf8("日本")), Sorted({"データ.zorvex"}));
}

TEST_F(CliCyrillicNames, AProtocolBesideARussianDatabasePrintsToAPdfUnderARussianName) {
    StoreProtocol(At("база.db"), "5-Л");
    // Its measurements went to protocols/ beside this database.
    EXPECT_EQ(NamesIn(work), Sorted({"protocols", "база.db"}));
    EXPECT_EQ(NamesIn(work / "protocols"), (std::vector<std::string>{"1.zorvexpro"}));

    const auto list = Cli({"--db", "база.db", "protocol", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "1\t5-Л\t2026-03-17\n");

    ZORVEX_NEEDS_CLI_PDF();
    fs::create_directories(work / PathFromUtf8("日本"));
    for (const char* name : {"протокол № 5.pdf", "日本/протокол № 5.pdf"}) {
        SCOPED_TRACE(name);
        const auto pdf = Cli({"--db", "база.db", "protocol", "pdf", "1", name});
        ASSERT_EQ(pdf.status, 0) << pdf.err;
        EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(At(name))).substr(0, 5), "%PDF-");
    }
    EXPECT_EQ(NamesIn(work), Sorted({"protocols", "база.db", "протокол № 5.pdf", "日本"}));
    EXPECT_EQ(NamesIn(work / PathFromUtf8("日本")), (std::vector<std::string>{"протокол № 5.pdf"}));
#ifndef _WIN32
    // The document is the stored protocol's, its Russian texts intact.
    const auto text = RunProcess("/usr/bin/pdftotext", {At("протокол № 5.pdf"), "-"}, work);
    ASSERT_EQ(text.status, 0) << text.err << " (scripts/install-deps installs poppler-utils)";
    EXPECT_NE(text.out.find("ПРОТОКОЛ № 5-Л"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("ООО «Иван и партнёры»"), std::string::npos) << text.out;
#endif
}

#ifndef _WIN32

// A copy of the tool in a Cyrillic program folder: writable, it keeps data.db
// in the start directory; not writable (as after an install), the database and
// the kept images go to the user's data directory under a Cyrillic XDG_DATA_HOME.
TEST_F(CliCyrillicNames, TheProgramAndDataFoldersMayHaveRussianNames) {
    const fs::path bin = dir.path() / PathFromUtf8("Программа № 1/bin");
    fs::create_directories(bin);
    const fs::path tool = bin / "zorvex-cli";
    fs::copy_file(PathFromUtf8(ZORVEX_CLI_PATH), tool);
    const fs::path home = dir.path() / PathFromUtf8("Иван");
    const fs::path xdg = home / PathFromUtf8("Данные ЛФ");
    fs::create_directories(xdg);
    const fs::path start = dir.path() / PathFromUtf8("Старт");
    fs::create_directories(start);
    const std::string n = std::to_string(DemoMeasurements().TotalRecords());

    // Only the variables named, so the caller's own data directory is never touched.
    const auto run = [&](const std::vector<std::string>& runAs, const std::vector<std::string>& args) {
        std::vector<std::string> all = {"-i", "HOME=" + Utf8FromPath(home), "XDG_DATA_HOME=" + Utf8FromPath(xdg),
                                        "LC_ALL=C.UTF-8"};
        all.insert(all.end(), runAs.begin(), runAs.end());
        all.push_back(Utf8FromPath(tool));
        all.insert(all.end(), args.begin(), args.end());
        return RunProcess("/usr/bin/env", all, start);
    };

    // A portable copy: data.db where it starts, nothing in the data directory.
    const auto portable = run({}, {"--demo", "download"});
    ASSERT_EQ(portable.status, 0) << portable.err;
    EXPECT_EQ(NamesIn(start), Sorted({"data.db", "downloads"}));
    EXPECT_EQ(NamesIn(xdg), std::vector<std::string>{});
    fs::remove_all(start);
    fs::create_directories(start);

    // Installed: the program folder read-only to the user. root may write
    // anywhere, so then the tool runs as nobody, who owns only the home.
    std::vector<std::string> runAs;
    if (::geteuid() == 0) {
        runAs = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        for (const fs::path& p : {home, xdg}) ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
    }
    fs::permissions(bin, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::permissions(start, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const auto installed = run(runAs, {"--demo", "download"});
    fs::permissions(bin, fs::perms::owner_write, fs::perm_options::add);  // so that the directory can go
    ASSERT_EQ(installed.status, 0) << installed.err;
    EXPECT_TRUE(installed.out.ends_with("Новых записей: " + n + ", уже были в базе: 0\n")) << installed.out;
    EXPECT_EQ(NamesIn(xdg), (std::vector<std::string>{"zorvex"}));
    EXPECT_EQ(NamesIn(xdg / "zorvex"), Sorted({"data.db", "downloads"}));
    EXPECT_EQ(NamesIn(xdg / "zorvex" / "downloads").size(), 1u);
    EXPECT_EQ(NamesIn(start), std::vector<std::string>{});
    EXPECT_EQ(NamesIn(bin), (std::vector<std::string>{"zorvex-cli"}));
    EXPECT_EQ(RawRows(Utf8FromPath(xdg / "zorvex" / "data.db"), "select count(*) from measurements").at(0).at(0), n);

    // The next command finds the same database, and its help names it.
    const auto list = run(runAs, {"list", "--format", "json"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(std::to_string(Lines(list.out)), n);
    const auto help = run(runAs, {"--help"});
    EXPECT_NE(help.out.find("(по умолчанию " + Utf8FromPath(xdg / "zorvex" / "data.db") + ")"), std::string::npos)
        << help.out;
}

#endif  // _WIN32
