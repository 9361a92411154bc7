#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/PgConnection.h"
#include "support/PgServer.h"
#include "support/ProcessRun.h"
#include "support/TempDir.h"

namespace zorvex::test {

// What a lab's data.db is made of for these tests.
struct LabData {
    int measurements = 300;   // single measurements and monitoring records, over two days
    int downloads = 2;        // the first one over the driver link with its memory image
    int protocols = 3;        // numbered firstNumber, firstNumber+1, ...
    int firstNumber = 1;
    int year = 2026;
    std::string organisation = "ООО «Ромашка»";
};

// Fills the data.db at `file` (made new) as the program does: downloads stored
// with StoreDownload, workplace and height notes on some single measurements,
// protocols stored with their files.
void MakeLabDatabase(const std::string& file, const LabData& data);

// Rows of the archive in a form that compares two archives: every column of
// every table except the archive's own row ids and times of storing.
std::vector<std::string> ArchiveSnapshot(archive::TPgConnection& conn);

// A role "pwuser" that logs in with kPassword only, beside the trusted
// superuser, with the rights on the archive at `conninfo`.
inline constexpr const char* kPassword = "Correct-horse-1";
void EnsurePasswordRole(PgServer& server, archive::TPgConnection& archive);

// A text cell as RawRows gives it, without the zero byte the program stores after each text.
inline std::string Stored(std::string cell) {
    if (!cell.empty() && cell.back() == '\0') cell.pop_back();
    return cell;
}

// Every row of one query, cells joined by tabs, null as "<null>".
// A folder copied with everything in it (a data.db with its protocols/ and downloads/).
void CopyFolder(const std::filesystem::path& from, const std::filesystem::path& to);

std::vector<std::string> Rows(archive::TPgConnection& conn, const std::string& sql, const archive::TPgParams& params = {});

// Each test gets a fresh database on the program's shared cluster and a
// temporary directory; skipped with the reason when PostgreSQL is missing.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A further fresh database on the cluster; its connection string.
    std::string NewDatabase();
    archive::TPgConnection& Archive();  // to the test's own database
    void Reconnect();                   // after the server was stopped and started again
    std::unique_ptr<archive::TPgConnection> ConnectTo(const std::string& conninfo);

    // zorvex-cli with these arguments, in the temporary directory.
    ProcessResult Cli(const std::vector<std::string>& args, const ProcessLimits& limits = {});
    // data.db in a folder of its own (protocols/ and downloads/ go beside it).
    std::string DbFile(const std::string& folder) const;

    PgServer* server_ = nullptr;
    std::unique_ptr<TempDir> dir_;
    std::string conninfo_;

private:
    std::unique_ptr<archive::TPgConnection> archive_;
};

}  // namespace zorvex::test
