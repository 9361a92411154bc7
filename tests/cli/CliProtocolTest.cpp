#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "protocol/ProtocolSession.h"
#include "protocol/ProtocolStore.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/Platform.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

namespace fs = std::filesystem;

struct StoredProtocol {
    const char* number;
    std::vector<int> workplaces;
    double valueBase;  // single magnetic readings of valueBase + workplace nT at 1.0 m
};

// Stores protocols in `database` as the window does, in the directory the
// program chooses for that database.
void StoreProtocols(const fs::path& database, const std::vector<StoredProtocol>& protocols) {
    SetMainDatabase(OpenDatabase(Utf8FromPath(database)));
    PromptsScope promptsScope(std::make_shared<test::ScriptedPrompts>());
    for (const StoredProtocol& protocol : protocols) {
        TMeasureDataP data;
        data.SetMethodBytes();
        for (const int workplace : protocol.workplaces) {
            TMeasureRecord r;
            r.kind = kKindMagnetic;
            r.number = workplace;
            r.workplace = workplace;
            r.height = 2;
            r.time = EncodeDateTime(2010, 3, 5, 10, workplace, 0, 0);
            r.mvalue = protocol.valueBase + workplace;
            data(kMethodSingle, kKindMagnetic).Records.push_back(r);
        }
        TProtocolSession session = NewProtocolSession(data);
        TProtocolFields fields;
        fields.SetDate(EncodeDate(2010, 3, 5));
        PrepareEditor(session, fields);
        fields.SetFieldText("Edit0", protocol.number);
        fields.SetFieldText("Edit1", "ООО «Ромашка»");
        ASSERT_EQ(FormProtocol(session, fields), TFormOutcome::Stored);
    }
    SetMainDatabase(nullptr);
}

std::string FindTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const fs::path candidate = PathFromUtf8(dir) / PathFromUtf8(name);
        if (!dir.empty() && fs::exists(candidate)) return Utf8FromPath(candidate);
    }
    return {};
}

// The PDF's text as pdftotext -layout places it, each line's words joined by
// one space, blank lines left out: a result row reads "11 111.00 250"
// (workplace, the reading in the column of its height, the norm).
std::vector<std::string> PdfLines(const fs::path& pdf) {
    const std::string tool = FindTool("pdftotext");
    if (tool.empty()) {
        ADD_FAILURE() << "pdftotext not found in PATH: scripts/install-deps installs poppler-utils";
        return {};
    }
    const auto text = RunProcess(tool, {"-layout", Utf8FromPath(pdf), "-"}, pdf.parent_path());
    EXPECT_EQ(text.status, 0) << text.err;
    std::vector<std::string> lines;
    std::istringstream in(text.out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string joined;
        for (std::string word; words >> word;) joined += (joined.empty() ? "" : " ") + word;
        if (!joined.empty()) lines.push_back(joined);
    }
    return lines;
}

// The lines of `lines` that equal one of `wanted`, in their order in the document.
std::vector<std::string> LinesAmong(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (std::find(wanted.begin(), wanted.end(), line) != wanted.end()) found.push_back(line);
    return found;
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& start) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.starts_with(start); });
}

// A copy of the tool in a directory of its own, bin/, beside data.db: the
// protocols go to protocols/ beside data.db, and bin/protocols is where an
// earlier version kept them (beside the program file).
class CliProtocol : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "bin");
        fs::copy_file(PathFromUtf8(ZORVEX_CLI_PATH), tool);
        StoreProtocols(dir.path() / "data.db", {{" 12 ", {11, 2, 5}, 100}, {"7", {11, 2, 5}, 100}});
    }
    test::ProcessResult Cli(const std::vector<std::string>& args, const test::ProcessLimits& limits = {}) {
        return CliOn(dir.path() / "data.db", args, limits);
    }
    test::ProcessResult CliOn(const fs::path& database, const std::vector<std::string>& args,
                              const test::ProcessLimits& limits = {}) {
        std::vector<std::string> all = {"--db", Utf8FromPath(database)};
        all.insert(all.end(), args.begin(), args.end());
        return RunProcess(Utf8FromPath(tool), all, dir.path(), limits);
    }
    // Names in the test's directory, e.g. a left-over temporary file.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.push_back(Utf8FromPath(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
    fs::path tool = dir.path() / "bin" / PathFromUtf8(ZORVEX_CLI_PATH).filename();
};

// The three result rows of the fixture's protocols, in the magnetic table of 5 Hz - 2 kHz.
const std::vector<std::string> kFixtureRows = {"2 102.00 250", "5 105.00 250", "11 111.00 250"};

}  // namespace

TEST_F(CliProtocol, ListAndPdf) {
    ZORVEX_NEEDS_CLI_PDF();
    const auto list = Cli({"protocol", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "1\t12\t2010-03-05\n2\t7\t2010-03-05\n");

    const auto pdf = Cli({"protocol", "pdf", "1", "out.pdf"});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_EQ(pdf.out, "");
    const std::vector<std::string> lines = PdfLines(dir.path() / "out.pdf");
    EXPECT_TRUE(HasLineStartingWith(lines, "ПРОТОКОЛ № 12"));
    EXPECT_TRUE(HasLineStartingWith(lines, "1. Организация, объект, на котором ООО «Ромашка»"));
    EXPECT_EQ(LinesAmong(lines, kFixtureRows), kFixtureRows);
}

// Protocol files live beside their database, so two databases in different
// directories, each with its protocol 1, print their own measurements.
TEST_F(CliProtocol, TwoDatabasesPrintTheirOwnProtocols) {
    ZORVEX_NEEDS_CLI_PDF();
    struct Lab {
        fs::path database;
        const char* number;
        int workplace;
        double valueBase;
        std::string row;
    };
    const Lab labs[] = {{dir.path() / "a" / "data.db", "77", 3, 100, "3 103.00 250"},
                        {dir.path() / "b" / "lab.db", "88", 4, 200, "4 204.00 250"}};
    fs::create_directories(labs[0].database.parent_path());
    fs::create_directories(labs[1].database.parent_path());
    StoreProtocols(labs[0].database, {{labs[0].number, {labs[0].workplace}, labs[0].valueBase}});
    const fs::path fileA = labs[0].database.parent_path() / "protocols" / "1.zorvexpro";
    const std::string bytesA = test::ReadFileBytes(fileA);
    StoreProtocols(labs[1].database, {{labs[1].number, {labs[1].workplace}, labs[1].valueBase}});
    EXPECT_EQ(test::ReadFileBytes(fileA), bytesA) << "the second database replaced the first one's file";
    EXPECT_TRUE(fs::exists(labs[1].database.parent_path() / "protocols" / "1.zorvexpro"));

    for (const Lab& lab : labs) {
        SCOPED_TRACE(lab.number);
        const fs::path pdf = dir.path() / (std::string(lab.number) + ".pdf");
        const auto r = CliOn(lab.database, {"protocol", "pdf", "1", Utf8FromPath(pdf)});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = PdfLines(pdf);
        EXPECT_TRUE(HasLineStartingWith(lines, std::string("ПРОТОКОЛ № ") + lab.number));
        EXPECT_EQ(LinesAmong(lines, {labs[0].row, labs[1].row}), std::vector<std::string>{lab.row});
    }
}

// An earlier version kept every protocol file beside the program file: a file
// found only there is printed from there.
TEST_F(CliProtocol, AFileWhereAnEarlierVersionKeptItIsStillRead) {
    ZORVEX_NEEDS_CLI_PDF();
    fs::create_directories(dir.path() / "bin" / "protocols");
    fs::rename(dir.path() / "protocols" / "1.zorvexpro", dir.path() / "bin" / "protocols" / "1.zorvexpro");
    const auto pdf = Cli({"protocol", "pdf", "1", "out.pdf"});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_EQ(LinesAmong(PdfLines(dir.path() / "out.pdf"), kFixtureRows), kFixtureRows);
}

// A missing file is named, not reported as a protocol without workplaces.
TEST_F(CliProtocol, AMissingProtocolFileIsNamed) {
    ZORVEX_NEEDS_CLI_PDF();
    const fs::path file = dir.path() / "protocols" / "2.zorvexpro";
    fs::remove(file);
    const auto r = Cli({"protocol", "pdf", "2", "out.pdf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Не найден файл протокола: ни «" + Utf8FromPath(file) + "», ни «" +
                         Utf8FromPath(dir.path() / "bin" / "protocols" / "2.zorvexpro") + "»"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("рабочих мест"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(dir.path() / "out.pdf"));
}

// No output replaces a file the program keeps: a protocol's file (beside the
// database or where an earlier version kept it, existing or not yet) or a
// download's memory image, by any spelling or through a link.
TEST_F(CliProtocol, OutputsNeverReplaceAKeptFile) {
    ZORVEX_NEEDS_CLI_PDF();
    ASSERT_EQ(Cli({"--demo", "download"}).status, 0);  // measurements to save, and an image in downloads/
    std::vector<fs::path> images;
    for (const auto& entry : fs::directory_iterator(dir.path() / "downloads")) images.push_back(entry.path());
    ASSERT_EQ(images.size(), 1u);
    fs::create_directories(dir.path() / "bin" / "protocols");
    fs::copy_file(dir.path() / "protocols" / "1.zorvexpro", dir.path() / "bin" / "protocols" / "1.zorvexpro");
    fs::create_symlink(dir.path() / "protocols" / "1.zorvexpro", dir.path() / "link.pdf");
    const std::vector<fs::path> kept = {dir.path() / "protocols" / "1.zorvexpro", dir.path() / "protocols" / "2.zorvexpro",
                                        dir.path() / "bin" / "protocols" / "1.zorvexpro", images[0]};
    std::vector<std::string> before;
    for (const fs::path& file : kept) before.push_back(test::ReadFileBytes(file));

    const std::vector<std::string> targets = {
        "protocols/1.zorvexpro",
        Utf8FromPath(dir.path() / "protocols" / "2.zorvexpro"),
        "./bin/../protocols/2.zorvexpro",
        "protocols/3.zorvexpro",  // no such protocol yet: its file would be taken for its own
        "bin/protocols/1.zorvexpro",
        "link.pdf",
        Utf8FromPath(images[0]),
        "downloads/../downloads/" + Utf8FromPath(images[0].filename()),
    };
    for (const std::string& target : targets) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"save", target}, std::vector<std::string>{"protocol", "pdf", "1", target}}) {
            SCOPED_TRACE(command[0] + " " + target);
            const auto r = Cli(command);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find("; выберите другое имя"), std::string::npos) << r.err;
        }
    }
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(test::ReadFileBytes(kept[i]), before[i]) << kept[i];
    EXPECT_FALSE(fs::exists(dir.path() / "protocols" / "3.zorvexpro"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.pdf"));

    // Beside the kept files, other names are the user's to write.
    const auto pdf = Cli({"protocol", "pdf", "1", "protocols/1.pdf"});
    EXPECT_EQ(pdf.status, 0) << pdf.err;
    const auto saved = Cli({"save", "downloads/measurements.zorvex"});
    EXPECT_EQ(saved.status, 0) << saved.err;
}

TEST_F(CliProtocol, Errors) {
    ZORVEX_NEEDS_CLI_PDF();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string errPart;
    } cases[] = {
        {{"protocol"}, 2, "list или pdf"},
        {{"protocol", "pdf", "x", "a.pdf"}, 2, "положительным целым"},
        {{"protocol", "pdf", "1"}, 2, "ожидается"},
        {{"protocol", "print"}, 2, "неизвестное действие"},
        {{"protocol", "pdf", "99", "a.pdf"}, 1, "Протокол 99 не найден"},
        {{"protocol", "pdf", "1", "note.txt/a.pdf"}, 1, "a.pdf"},
    };
    test::WriteFileBytes(dir.path() / "note.txt", "text");
    for (const auto& c : cases) {
        const auto r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.pdf"));
}

TEST_F(CliProtocol, ListShowsControlCharactersEscaped) {
    // ESC [2J would clear the screen; a tab or a line break would forge columns and lines.
    test::RawExec(dir.File("data.db"), "update protocols set number = '1' || char(27) || '[2J' || char(9) || '2' || "
                                       "char(10) || '3' || char(127) || cast(x'98' as text) || '4' where id = 1");
    const auto list = Cli({"protocol", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "1\t1\\x1b[2J\\x092\\x0a3\\x7f\\x984\t2010-03-05\n2\t7\t2010-03-05\n");
}

TEST_F(CliProtocol, PdfNeverReplacesTheDatabase) {
    ZORVEX_NEEDS_CLI_PDF();
    std::filesystem::create_symlink("data.db", dir.path() / "link.db");
    const std::string database = test::ReadFileBytes(dir.path() / "data.db");
    for (const auto& target : std::vector<std::string>{"data.db", "./data.db", "link.db", dir.File("data.db")}) {
        const auto r = Cli({"protocol", "pdf", "1", target});
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_NE(r.err.find("основная база данных"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::ReadFileBytes(dir.path() / "data.db"), database);
}

TEST_F(CliProtocol, PdfThatCannotBeWrittenWhollyIsAnError) {
    ZORVEX_NEEDS_CLI_PDF();
    ZORVEX_POSIX_ONLY("/dev/full and RLIMIT_FSIZE");
    const auto device = Cli({"protocol", "pdf", "1", "/dev/full"});
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.err.find("Не удалось записать файл «/dev/full»"), std::string::npos) << device.err;

    test::WriteFileBytes(dir.path() / "out.pdf", "old");
    test::ProcessLimits fullDisk;
    fullDisk.fileSizeLimit = 4096;  // far less than the document
    const auto full = Cli({"protocol", "pdf", "1", "out.pdf"}, fullDisk);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Не удалось записать файл «"), std::string::npos) << full.err;
    EXPECT_NE(full.err.find("out.pdf»"), std::string::npos) << full.err;
    EXPECT_EQ(test::ReadFileBytes(dir.path() / "out.pdf"), "old");
    EXPECT_EQ(Names(), (std::vector<std::string>{"bin", "data.db", "out.pdf", "protocols"}));
}
