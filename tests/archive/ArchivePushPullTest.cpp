#include <gtest/gtest.h>

#include <algorithm>

#include "archive/ArchivePull.h"
#include "archive/ArchivePush.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "archive/ArchiveTestSupport.h"
#include "archive/Workstation.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"

using namespace zorvex;
using namespace zorvex::archive;
using namespace zorvex::test;

namespace {

constexpr const char* kMeasurementColumns =
    "select number, workplace, height, method, kind, time, mvalue, evalue, mvalue2, evalue2, band, rejection "
    "from measurements order by time, method, kind, number";

std::vector<std::string> Joined(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        std::string line;
        for (const auto& cell : row) line += cell + "\t";
        out.push_back(line);
    }
    return out;
}

// Each protocol of a data.db: its row's texts and its file's measurements.
std::vector<std::string> ProtocolsOf(const std::string& db) {
    std::vector<std::string> out;
    const auto protocols = RawRows(db, "select id, number, date, consts, tabdata from protocols order by date, number");
    for (const auto& p : protocols) {
        std::string text = p[1] + "|" + p[2] + "|" + p[3] + "|" + p[4] + "|";
        const std::string file = (std::filesystem::path(db).parent_path() / "protocols" / (p[0] + ".zorvexpro")).string();
        for (const auto& line : Joined(RawRows(file, kMeasurementColumns))) text += line + "\n";
        out.push_back(text);
    }
    return out;
}

TPushReport Push(TPgConnection& conn, const std::string& db) {
    SetMainDatabase(OpenDatabase(db));
    TPushReport report = PushToArchive(conn, MainDatabase());
    SetMainDatabase(nullptr);
    return report;
}

class ArchivePushPull : public ArchiveTest {};

TEST_F(ArchivePushPull, PullIntoAnotherDatabaseGivesTheSourceRecordByRecord) {
    const std::string source = DbFile("source"), copy = DbFile("copy");
    MakeLabDatabase(source, {});
    const TPushReport report = Push(Archive(), source);
    EXPECT_EQ(report.measurementsAdded, 300);
    EXPECT_EQ(report.downloads, 2);
    EXPECT_EQ(report.protocols, 3);
    EXPECT_TRUE(report.refusedProtocols.empty());

    SetMainDatabase(OpenDatabase(copy));
    const TPullOutcome measurements = PullMeasurements(Archive(), MainDatabase(), std::nullopt, std::nullopt);
    EXPECT_EQ(measurements.added, 300);
    for (const auto& p : ListArchiveProtocols(Archive(), std::nullopt, std::nullopt, std::nullopt))
        EXPECT_EQ(PullProtocol(Archive(), MainDatabase(), p.id).added, 1);
    // Again: nothing twice.
    EXPECT_EQ(PullMeasurements(Archive(), MainDatabase(), std::nullopt, std::nullopt).alreadyHere, 300);
    for (const auto& p : ListArchiveProtocols(Archive(), std::nullopt, std::nullopt, std::nullopt))
        EXPECT_EQ(PullProtocol(Archive(), MainDatabase(), p.id).alreadyHere, 1);
    SetMainDatabase(nullptr);

    EXPECT_EQ(Joined(RawRows(copy, kMeasurementColumns)), Joined(RawRows(source, kMeasurementColumns)));
    EXPECT_EQ(ProtocolsOf(copy), ProtocolsOf(source));

    // What was fetched goes back as the same rows: pushing the copy adds
    // nothing but its workstation and its own audit log.
    const auto stored = [&] {
        std::vector<std::string> rows;
        for (auto& row : ArchiveSnapshot(Archive()))
            if (row[0] != 'w' && row[0] != 'a') rows.push_back(row);
        return rows;
    };
    const std::vector<std::string> before = stored();
    const TPushReport back = Push(Archive(), copy);
    EXPECT_EQ(back.measurementsAdded + back.measurementsChanged + back.protocols, 0);
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(Rows(Archive(), "select count(*) from workstations"), std::vector<std::string>{"2"});
}

TEST_F(ArchivePushPull, RepeatedPushStoresNothingTwiceAndLaterNotesFollow) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {});
    Push(Archive(), db);
    const auto once = ArchiveSnapshot(Archive());
    const TPushReport again = Push(Archive(), db);
    EXPECT_EQ(again.measurementsAdded + again.measurementsChanged + again.downloads + again.protocols, 0);
    EXPECT_EQ(ArchiveSnapshot(Archive()), once);

    RawExec(db, "update measurements set workplace = 42, height = 3 where id = 7");
    const TPushReport edited = Push(Archive(), db);
    EXPECT_EQ(edited.measurementsAdded, 0);
    EXPECT_EQ(edited.measurementsChanged, 1);
    EXPECT_EQ(Rows(Archive(), "select workplace, height from measurements where local_id = 7"),
              std::vector<std::string>{"42\t3"});
    // A protocol changed after it went replaces its row and measurements.
    RawExec(db, "update protocols set tabdata = 'changed' where id = 2");
    EXPECT_EQ(Push(Archive(), db).protocols, 1);
    EXPECT_EQ(Rows(Archive(), "select tabdata from protocols where local_id = 2"), std::vector<std::string>{"changed"});
    EXPECT_EQ(Rows(Archive(), "select count(*) from protocol_measurements"), std::vector<std::string>{"9"});
}

TEST_F(ArchivePushPull, ArchiveRestoredFromAnOlderBackupGetsEverythingAgain) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {});
    Push(Archive(), db);
    const auto full = ArchiveSnapshot(Archive());
    Archive().Exec("delete from measurements where local_id > 100");
    Archive().Exec("delete from protocols where local_id = 3");
    Push(Archive(), db);
    EXPECT_EQ(ArchiveSnapshot(Archive()), full);
}

TEST_F(ArchivePushPull, RegisterRefusesANumberTakenInTheSameYear) {
    const std::string first = DbFile("first"), second = DbFile("second");
    MakeLabDatabase(first, {.measurements = 20, .downloads = 1, .protocols = 2, .firstNumber = 11});
    // 12 collides (12 in 2026); 13 is free; the same numbers in another year are free.
    MakeLabDatabase(second, {.measurements = 20, .downloads = 1, .protocols = 2, .firstNumber = 12});
    RawExec(second, "update protocols set number = ' 12 ' where number like '12%'");
    const std::string other = DbFile("other-year");
    MakeLabDatabase(other, {.measurements = 20, .downloads = 1, .protocols = 2, .firstNumber = 11, .year = 2025});

    Push(Archive(), first);
    const TPushReport refused = Push(Archive(), second);
    EXPECT_EQ(refused.protocols, 1);
    ASSERT_EQ(refused.refusedProtocols.size(), 1u);
    const std::string& message = refused.refusedProtocols[0];
    EXPECT_NE(message.find("Протокол № 12 от 05.03.2026 не отправлен"), std::string::npos) << message;
    EXPECT_NE(message.find("протоколом от 06.03.2026"), std::string::npos) << message;
    EXPECT_NE(message.find("«" + HostName() + "»"), std::string::npos) << message;
    EXPECT_NE(message.find("пользователь «" + UserName() + "»"), std::string::npos) << message;
    SetMainDatabase(OpenDatabase(first));
    EXPECT_NE(message.find(LocalWorkstation(MainDatabase()).id), std::string::npos) << message;
    SetMainDatabase(nullptr);
    // Refused again next time, until it is renumbered.
    EXPECT_EQ(Push(Archive(), second).refusedProtocols.size(), 1u);
    RawExec(second, "update protocols set number = '12a' where number = ' 12 '");
    const TPushReport renumbered = Push(Archive(), second);
    EXPECT_TRUE(renumbered.refusedProtocols.empty());
    EXPECT_EQ(renumbered.protocols, 1);

    EXPECT_TRUE(Push(Archive(), other).refusedProtocols.empty());
    EXPECT_EQ(Rows(Archive(), "select number, year from protocols order by year, number"),
              (std::vector<std::string>{"11\t2025", "12\t2025", "11\t2026", "12\t2026", "12a\t2026", "13\t2026"}));
}

TEST_F(ArchivePushPull, ListFiltersByDayWorkstationAndMeter) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 40, .downloads = 2});
    const TPushReport report = Push(Archive(), db);
    TArchiveFilter day;
    day.from = day.to = EncodeDate(2026, 3, 16);
    const auto records = ListArchiveMeasurements(Archive(), day);
    EXPECT_EQ(records.size(), 20u);
    for (const auto& r : records) EXPECT_EQ(DateOf(r.record.time), EncodeDate(2026, 3, 16));
    TArchiveFilter meter;
    meter.serial = 21458;
    EXPECT_EQ(ListArchiveMeasurements(Archive(), meter).size(), 20u);
    TArchiveFilter byHost;
    byHost.workstation = HostName();
    EXPECT_EQ(ListArchiveMeasurements(Archive(), byHost).size(), 40u);
    byHost.workstation = report.workstation.id;
    byHost.kind = 0;
    byHost.method = 0;
    const auto kind0 = ListArchiveMeasurements(Archive(), byHost);
    EXPECT_FALSE(kind0.empty());
    for (const auto& r : kind0) EXPECT_EQ(r.record.kind, 0);
    byHost.workstation = "нет такой";
    EXPECT_TRUE(ListArchiveMeasurements(Archive(), byHost).empty());

    EXPECT_EQ(ListArchiveProtocols(Archive(), EncodeDate(2026, 3, 6), std::nullopt, std::nullopt).size(), 2u);
    EXPECT_EQ(ListArchiveProtocols(Archive(), std::nullopt, std::nullopt, std::string("РОМАШ")).size(), 3u);
    EXPECT_TRUE(ListArchiveProtocols(Archive(), std::nullopt, std::nullopt, std::string("Лютик")).empty());
}

TEST_F(ArchivePushPull, HostileDatabasePushesSafelyAndComesBackUnchanged) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 20, .downloads = 1, .protocols = 1});
    std::string hostile = "'; drop table measurements; -- \"кавычки\" \\ \\N \t\n\r";
    for (char c = 1; c < 32; ++c) hostile += c;
    for (int i = 0; i < 40000; ++i) hostile += i % 2 ? "Я" : "z";
    SetMainDatabase(OpenDatabase(db));
    MainDatabase().Execute("update protocols set consts = ?, tabdata = ?", {hostile + "$$$" + hostile, hostile});
    MainDatabase().Execute("update downloads set firmware = ?", {hostile});
    SetMainDatabase(nullptr);
    // Rows another tool wrote: text where numbers belong, a time that is no time.
    RawExec(db,
            "insert into measurements (number, workplace, height, method, kind, time, mvalue, evalue, mvalue2, evalue2, "
            "band, rejection) values ('x', 0, 0, 0, 0, 'вчера', 1, 1, 1, 1, 0, 0), "
            "(1, 0, 0, 7, 0, '2026-03-16 10:00:00', 1, 1, 1, 1, 0, 0), "
            "(1, 0, 0, 0, 0, '2026-03-16 10:00:00', 'много', 1, 1, 1, 0, 0)");

    const TPushReport report = Push(Archive(), db);
    EXPECT_EQ(report.measurementsAdded, 20);
    EXPECT_EQ(report.unreadableRows, 3);
    EXPECT_EQ(report.protocols, 1);
    EXPECT_EQ(Rows(Archive(), "select count(*) from measurements"), std::vector<std::string>{"20"});
    const TPgResult firmware = Archive().Exec("select firmware from downloads");
    EXPECT_EQ(firmware.Text(0, 0), hostile);

    const std::string copy = DbFile("copy");
    SetMainDatabase(OpenDatabase(copy));
    PullProtocol(Archive(), MainDatabase(), ListArchiveProtocols(Archive(), std::nullopt, std::nullopt, std::nullopt)[0].id);
    EXPECT_EQ(MainDatabase().ScalarText("select tabdata from protocols"), hostile);
    EXPECT_EQ(MainDatabase().ScalarText("select consts from protocols"), hostile + "$$$" + hostile);
    SetMainDatabase(nullptr);
}

TEST_F(ArchivePushPull, ArchiveOfANewerProgramIsRefusedAndLeftAlone) {
    Archive().Exec("update zorvex_archive set value = '99' where name = 'version'");
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 10, .downloads = 1, .protocols = 0});
    for (const auto& run : {std::function<void()>([&] { Push(Archive(), db); }),
                            std::function<void()>([&] { InitArchive(Archive()); })}) {
        try {
            run();
            ADD_FAILURE() << "not refused";
        } catch (const EArchiveError& e) {
            EXPECT_NE(std::string(e.what()).find("более новой версией программы"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(Rows(Archive(), "select value from zorvex_archive where name = 'version'"), std::vector<std::string>{"99"});
    EXPECT_EQ(Rows(Archive(), "select count(*) from measurements"), std::vector<std::string>{"0"});
}

TEST_F(ArchivePushPull, AuditLogAndFingerprintsGoWhereDataDbKeepsThem) {
    const std::string db = DbFile("lab");
    MakeLabDatabase(db, {.measurements = 10, .downloads = 1, .protocols = 1});
    const auto local = RawRows(db, "select kind, objectid from auditlog order by id");
    ASSERT_FALSE(local.empty());
    const TPushReport report = Push(Archive(), db);
    EXPECT_TRUE(report.auditLogFound);
    EXPECT_EQ(report.auditEntries, static_cast<std::int64_t>(local.size()));
    std::vector<std::string> expected;
    for (const auto& row : local) expected.push_back(Stored(row[0]) + "\t" + Stored(row[1]));
    EXPECT_EQ(Rows(Archive(), "select fields->>'kind', fields->>'objectid' from audit_entries order by local_id"),
              expected);
    EXPECT_EQ(Push(Archive(), db).auditEntries, 0);
    // The image's SHA-256 as data.db keeps it, and the same as the archive computes from the bytes it holds.
    const auto kept = RawRows(db, "select sha256 from downloadfingerprints");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(Rows(Archive(), "select fingerprint, encode(sha256(image), 'hex') from downloads where image is not null"),
              std::vector<std::string>{Stored(kept[0][0]) + "\t" + Stored(kept[0][0])});
    const auto file = RawRows(db, "select sha256 from protocolfingerprints");
    ASSERT_EQ(file.size(), 1u);
    EXPECT_EQ(Rows(Archive(), "select file_fingerprint from protocols"), std::vector<std::string>{Stored(file[0][0])});
}

}  // namespace
