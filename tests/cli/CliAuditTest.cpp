#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Paths.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

class CliAudit : public ::testing::Test {
protected:
    test::ProcessResult Cli(const std::vector<std::string>& args) {
        return RunProcess(ZORVEX_CLI_PATH, args, dir.path());
    }
    std::string Db() const { return dir.File("data.db"); }
    TempDir dir;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(CliAudit, VerifyPassesWhatWasDownloadedOverEitherLinkAndNamesEachLaterDifference) {
    // The USB link first: the driver link's records then match its rows in their own figures.
    for (const char* link : {"--demo=usb", "--demo"}) ASSERT_EQ(Cli({link, "download"}).status, 0);
    auto r = Cli({"verify"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "Загрузок: 2, с образом памяти: 1\n")) << r.out;
    EXPECT_TRUE(r.out.ends_with("Различий нет\n")) << r.out;

    // Workplace and height are the user's notes: edited, they are no difference.
    RawExec(Db(), "update measurements set workplace = 3, height = 2 where id = 10");
    EXPECT_EQ(Cli({"verify"}).status, 0);

    // Row 10 came over USB, which gives no electric value of a magnetic reading: one that changes is no difference.
    RawExec(Db(),
            "update measurements set mvalue = mvalue * 2, evalue = 7 where id = 10; "
            "delete from measurements where id = 11");
    const std::string image = RawRows(Db(), "select imagefile from downloads where link like 'driver%'")[0][0];
    r = Cli({"verify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "(id 10): изменена — mvalue: в образе ")) << r.out;
    EXPECT_TRUE(Has(r.out, "(id 11, ")) << r.out;
    EXPECT_TRUE(Has(r.out, "удалена из базы не через программу")) << r.out;
    EXPECT_FALSE(Has(r.out, "evalue")) << r.out;
    // The row changed once, the row deleted in each of the two downloads that hold it.
    EXPECT_TRUE(r.out.ends_with("Различий: 3\n")) << r.out;

    std::filesystem::remove(dir.path() / PathFromUtf8(image.substr(0, image.find('\0'))));
    r = Cli({"verify", "--format", "json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "{\"kind\":\"image-missing\",\"object\":\"download 2\",\"text\":\"Загрузка 2 (")) << r.out;
    // Without the image its records are only looked for: the changed one passes, the deleted one does not.
    EXPECT_TRUE(Has(r.err, "Различий: 3\n")) << r.err;
    EXPECT_EQ(Cli({"verify", "--format", "csv"}).status, 2);
}

TEST_F(CliAudit, AuditPrintsEveryChangeAsTableJsonAndCsvWithinTheDaysAsked) {
    ASSERT_EQ(Cli({"levels", "swtmflb=300", "ef50hz=450.5"}).status, 0);
    auto r = Cli({"audit"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "Начало журнала изменений")) << r.out;
    EXPECT_TRUE(Has(r.out, "Допустимый уровень        maxlevels/swtmflb/value  250   300")) << r.out;

    r = Cli({"audit", "--format", "json"});
    EXPECT_TRUE(Has(r.out,
                    "\"kind\":\"level.set\",\"table\":\"maxlevels\",\"objectid\":\"ef50hz\",\"field\":\"value\","
                    "\"old\":\"500\",\"new\":\"450.5\"}\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out,
                    "\"kind\":\"audit.start\",\"table\":\"auditlog\",\"objectid\":\"\",\"field\":\"\","
                    "\"old\":null,\"new\":null}\n"))
        << r.out;

    r = Cli({"audit", "--format", "csv", "--utf8"});
    EXPECT_TRUE(r.out.starts_with("id;time;user;workstation;kind;table;objectid;field;old;new\r\n")) << r.out;
    EXPECT_TRUE(Has(r.out, ";level.set;maxlevels;swtmflb;value;250;300\r\n")) << r.out;

    const std::string today = RawRows(Db(), "select substr(time, 1, 10) from auditlog where id = 1")[0][0];
    EXPECT_EQ(Cli({"audit", "--from", today, "--to", today, "--format", "json"}).out,
              Cli({"audit", "--format", "json"}).out);
    EXPECT_EQ(Cli({"audit", "--to", "2000-01-01"}).out, "");
    EXPECT_EQ(Cli({"audit", "--from", "1.1.2000"}).status, 2);
}

}  // namespace
