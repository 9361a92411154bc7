#include "archive/ArchiveTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "archive/ArchiveSchema.h"
#include "base/DateTime.h"
#include "base/Prompts.h"
#include "device/DownloadInfo.h"
#include "protocol/ProtocolStore.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/SQLiteDatabase.h"
#include "support/ScriptedPrompts.h"

namespace zorvex::test {
using namespace zorvex::archive;

namespace {

TMeasureRecord Record(int i, int kind, TDateTime time) {
    TMeasureRecord r;
    r.kind = static_cast<std::uint8_t>(kind);
    r.number = i;
    r.time = time;
    r.mvalue = 10 + i * 0.37;
    r.evalue = kind == 0 ? 1.5 + i * 0.01 : -1;
    r.mvalue2 = kind == 0 ? -1 : 0.1 * (i % 7);
    r.evalue2 = -1;
    r.band = static_cast<std::uint8_t>(kind == 0 ? 0 : i % 2);
    r.rejection = static_cast<std::uint8_t>(i % 3 == 0);
    return r;
}

std::string ProtocolConsts(const std::string& number, const std::string& organisation, int k) {
    std::vector<std::string> items(14);
    items[0] = number;
    items[1] = organisation;
    items[2] = "Иванов И. И.";
    items[3] = "05.03.2026";
    items[12] = "Заключение " + std::to_string(k) + "\r\nвторая строка";
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? "$$$" : "") + items[i];
    return text;
}

std::atomic<int> databaseCounter{0};

}  // namespace

void MakeLabDatabase(const std::string& file, const LabData& lab) {
    SetMainDatabase(OpenDatabase(file));
    PromptsScope prompts(std::make_shared<ScriptedPrompts>());
    const int perDownload = lab.measurements / std::max(1, lab.downloads);
    int n = 0;
    for (int d = 0; d < lab.downloads; ++d) {
        TMeasureDataP data;
        data.SetMethodBytes();
        for (int i = 0; i < perDownload; ++i, ++n) {
            const int method = n % 4 == 3 ? kMethodMonitoring : kMethodSingle;
            const int kind = n % kKindCount;
            const TDateTime time = EncodeDateTime(lab.year, 3, 16 + n % 2, 9, (n / 60) % 60, n % 60, 0);
            data(method, kind).Records.push_back(Record(n, kind, time));
        }
        TDownloadInfo info;
        info.time = EncodeDateTime(lab.year, 3, 18, 12, d, 0, 0);
        info.link = d == 0 ? kLinkDriver : kLinkUsb;
        info.serialNumber = 21457 + d;
        info.firmware = "2.3";
        info.calibrationDate = EncodeDate(lab.year - 1, 11, 2);
        if (d == 0) {
            info.image.resize(32768);
            for (std::size_t b = 0; b < info.image.size(); ++b) info.image[b] = static_cast<std::uint8_t>(b * 7 + 3);
        }
        StoreDownload(data, info);
    }
    MainDatabase().Execute("update measurements set workplace = id % 5 + 1, height = id % 4 where method = 0 and id % 3 = 0");
    for (int k = 0; k < lab.protocols; ++k) {
        TMeasureDataP data;
        data.SetMethodBytes();
        for (int w = 1; w <= 3; ++w) {
            TMeasureRecord r = Record(w, 3, EncodeDateTime(lab.year, 3, 5, 10, w, k, 0));
            r.workplace = w;
            r.height = 2;
            data(kMethodSingle, 3).Records.push_back(r);
        }
        const std::string number = std::to_string(lab.firstNumber + k);
        std::int32_t id = 0;
        StoreProtocol(id, number, EncodeDateTime(lab.year, 3, 5 + k, 10, 0, 0, 0),
                      ProtocolConsts(number, lab.organisation, k), "№ РМ$$$x$$$%%%1$$$ $$$3###");
        WriteProtocolFile(id, true, data);
    }
    SetMainDatabase(nullptr);
}

std::vector<std::string> Rows(TPgConnection& conn, const std::string& sql, const TPgParams& params) {
    const TPgResult r = conn.Exec(sql, params);
    std::vector<std::string> rows;
    for (int i = 0; i < r.Rows(); ++i) {
        std::string row;
        for (int c = 0; c < r.Columns(); ++c) row += (c ? "\t" : "") + r.OptionalText(i, c).value_or("<null>");
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> ArchiveSnapshot(TPgConnection& conn) {
    static const char* const kQueries[] = {
        "select 'm', workstation, local_id, number, workplace, height, method, kind, time, mvalue, evalue, mvalue2, "
        "evalue2, band, rejection, serialnumber from measurements order by workstation, local_id",
        "select 'd', workstation, local_id, time, link, serialnumber, firmware, calibrationdate, added, skipped, "
        "imagefile, md5(image), fingerprint from downloads order by workstation, local_id",
        "select 'r', d.workstation, d.local_id, r.workstation, r.local_id from download_records r join downloads d "
        "on d.id = r.download order by 2, 3, 4, 5",
        "select 'p', workstation, local_id, number, number_text, year, date_text, date, org, md5(consts), "
        "md5(tabdata), digest, has_file from protocols order by workstation, local_id",
        "select 'pm', p.workstation, p.local_id, pm.position, pm.method, pm.kind, pm.number, pm.workplace, pm.height, "
        "pm.time, pm.mvalue, pm.evalue, pm.mvalue2, pm.evalue2, pm.band, pm.rejection from protocol_measurements pm "
        "join protocols p on p.id = pm.protocol order by 2, 3, 4",
        "select 'w', id, host, username from workstations order by id",
        "select 'a', workstation, local_id, fields from audit_entries order by workstation, local_id",
    };
    std::vector<std::string> all;
    for (const char* sql : kQueries)
        for (auto& row : Rows(conn, sql)) all.push_back(std::move(row));
    return all;
}

void EnsurePasswordRole(PgServer& server, TPgConnection& archive) {
    static bool done = false;
    if (!done) {
        done = true;
        auto admin = TPgConnection::Connect(server.ConnInfo("postgres"));
        admin->Exec(std::string("create role pwuser login password '") + kPassword + "'");
        server.PrependHbaLine("local all pwuser scram-sha-256");
        // The server reads the file again on its own time.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    archive.Exec("grant all on schema public to pwuser");
    archive.Exec("grant all on all tables in schema public to pwuser");
    archive.Exec("grant all on all sequences in schema public to pwuser");
}

void ArchiveTest::SetUp() {
    server_ = &PgServer::Shared();
    if (!server_->Available()) GTEST_SKIP() << server_->Problem();
    dir_ = std::make_unique<TempDir>();
    conninfo_ = NewDatabase();
    archive_ = TPgConnection::Connect(conninfo_);
    InitArchive(*archive_);
}

void ArchiveTest::TearDown() {
    archive_.reset();
    SetMainDatabase(nullptr);
    dir_.reset();
}

std::string ArchiveTest::NewDatabase() {
    const std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++databaseCounter);
    auto admin = TPgConnection::Connect(server_->ConnInfo("postgres"));
    // The name is made here of digits, never of data.
    admin->Exec("create database " + name);
    return server_->ConnInfo(name);
}

std::string ArchiveTest::DbFile(const std::string& folder) const {
    std::filesystem::create_directories(dir_->path() / folder);
    return (dir_->path() / folder / "data.db").string();
}

TPgConnection& ArchiveTest::Archive() { return *archive_; }

void ArchiveTest::Reconnect() { archive_ = TPgConnection::Connect(conninfo_); }

void CopyFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

std::unique_ptr<TPgConnection> ArchiveTest::ConnectTo(const std::string& conninfo) {
    return TPgConnection::Connect(conninfo);
}

ProcessResult ArchiveTest::Cli(const std::vector<std::string>& args, const ProcessLimits& limits) {
    return RunProcess(ZORVEX_CLI_PATH, args, dir_->path(), limits);
}

}  // namespace zorvex::test
