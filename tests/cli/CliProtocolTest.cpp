#include <gtest/gtest.h>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "protocol/ProtocolSession.h"
#include "protocol/ProtocolStore.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

// A copy of the tool in a directory of its own: its protocols directory is
// beside the program file, so the copy's is inside the test's directory.
class CliProtocol : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir.path() / "bin");
        std::filesystem::copy_file(ZORVEX_CLI_PATH, tool);
        SetMainDatabase(OpenDatabase(dir.File("data.db")));
        ProtocolDirectoryScope protocols((dir.path() / "bin" / "protocols").string());
        PromptsScope promptsScope(std::make_shared<test::ScriptedPrompts>());
        for (const char* number : {" 12 ", "7"}) {
            TMeasureDataP data;
            data.SetMethodBytes();
            for (const int workplace : {11, 2, 5}) {
                TMeasureRecord r;
                r.kind = kKindMagnetic;
                r.number = workplace;
                r.workplace = workplace;
                r.height = 2;
                r.time = EncodeDateTime(2010, 3, 5, 10, workplace, 0, 0);
                r.mvalue = 100 + workplace;
                data(kMethodSingle, kKindMagnetic).Records.push_back(r);
            }
            TProtocolSession session = NewProtocolSession(data);
            TProtocolFields fields;
            fields.SetDate(EncodeDate(2010, 3, 5));
            PrepareEditor(session, fields);
            fields.SetFieldText("Edit0", number);
            fields.SetFieldText("Edit1", "ООО «Ромашка»");
            ASSERT_EQ(FormProtocol(session, fields), TFormOutcome::Stored);
        }
        SetMainDatabase(nullptr);
    }
    test::ProcessResult Cli(const std::vector<std::string>& args, const test::ProcessLimits& limits = {}) {
        std::vector<std::string> all = {"--db", dir.File("data.db")};
        all.insert(all.end(), args.begin(), args.end());
        return RunProcess(tool.string(), all, dir.path(), limits);
    }
    // Names in the test's directory, e.g. a left-over temporary file.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
    std::filesystem::path tool = dir.path() / "bin" / "zorvex-cli";
};

}  // namespace

TEST_F(CliProtocol, ListAndPdf) {
    const auto list = Cli({"protocol", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "1\t12\t2010-03-05\n2\t7\t2010-03-05\n");

    const auto pdf = Cli({"protocol", "pdf", "1", "out.pdf"});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    const auto text = RunProcess("/usr/bin/pdftotext", {"-layout", "out.pdf", "-"}, dir.path());
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("ПРОТОКОЛ"), std::string::npos);
    EXPECT_NE(text.out.find("12"), std::string::npos);
    EXPECT_NE(text.out.find("ООО «Ромашка»"), std::string::npos);
    for (const char* workplace : {"2", "5", "11"}) EXPECT_NE(text.out.find(workplace), std::string::npos);
}

TEST_F(CliProtocol, Errors) {
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
    EXPECT_EQ(Names(), (std::vector<std::string>{"bin", "data.db", "out.pdf"}));
}
