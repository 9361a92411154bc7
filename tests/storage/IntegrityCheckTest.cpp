#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "device/DownloadInfo.h"
#include "device/ImageBuilder.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/IntegrityCheck.h"
#include "storage/MeasurementEdits.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::ReadFileBytes;
using zorvex::test::TempDir;
using zorvex::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

const TDateTime kDay = EncodeDate(2026, 3, 17);
const TDateTime kSecond = 1.0 / 86400;

// A memory whose first single record is a magnetic reading of 250 nT, with a
// 50 Hz pair, an electric reading and a short monitoring run.
std::vector<std::uint8_t> MeterMemory() {
    TImageBuilder builder;
    const TDateTime at = kDay + EncodeTime(9, 20, 0, 0);
    builder.AddSingle(250, at, SingleFlags(TFieldClass::Workplace, false, false, false));
    builder.AddSingle(25, at + kSecond, SingleFlags(TFieldClass::Workplace, true, true, false));
    builder.AddSingle(4000, at + 2 * kSecond, SingleFlags(TFieldClass::PowerFrequency, false, false, false));
    builder.AddSingle(300, at + 2 * kSecond, SingleFlags(TFieldClass::PowerFrequency, true, false, false));
    builder.SetMonitoring(MonitorMode(TFieldClass::Workplace, false, false, false), 0, kDay + EncodeTime(10, 0, 0, 0),
                          10, {150, 175.5, 160});
    TPassport passport;
    passport.serialNumber = 1207;
    builder.SetPassport(passport);
    return builder.Image();
}

class IntegrityCheck : public ::testing::Test {
public:
    void SetUp() override { Fresh(); }
    void TearDown() override { SetMainDatabase(nullptr); }

    // A new database holding one driver download of MeterMemory().
    void Fresh() {
        SetMainDatabase(nullptr);
        fs::remove_all(dir.path() / "downloads");
        fs::remove(dir.path() / "data.db");
        file = dir.File("data.db");
        SetMainDatabase(OpenDatabase(file));
        const DriverBackendScope backend(std::make_shared<TSimulatedMeter>(MeterMemory()));
        TSLDeviceDataSource source;
        TMeasureDataP data;
        source.GetData("", data);
        TDownloadInfo info = source.LastDownload();
        info.time = EncodeDateTime(2026, 3, 17, 18, 5, 9, 0);
        StoreDownload(data, info);
        records = data.TotalRecords();
        image = ListDownloads().at(0).imageFile;
    }

    TempDir dir;
    std::string file, image;
    std::size_t records = 0;
};

std::set<std::string> KindsOf(const TIntegrityReport& report) {
    std::set<std::string> kinds;
    for (const auto& issue : report.issues) kinds.insert(issue.kind);
    return kinds;
}

bool Names(const TIntegrityReport& report, const std::string& fragment) {
    for (const auto& issue : report.issues)
        if (issue.text.find(fragment) != std::string::npos) return true;
    return false;
}

void FlipByte(const std::string& path, int offset) {
    std::string bytes = ReadFileBytes(PathFromUtf8(path));
    bytes[static_cast<std::size_t>(offset)] = static_cast<char>(bytes[static_cast<std::size_t>(offset)] ^ 0x01);
    WriteFileBytes(PathFromUtf8(path), bytes);
}

struct Tampering {
    const char* name;
    std::function<void(IntegrityCheck&)> tamper;
    std::set<std::string> kinds;  // empty: the check finds nothing
    std::string fragment;         // a text one of the differences must hold
};

TEST_F(IntegrityCheck, EachTamperingIsFoundAndNamedAndTheProgramsOwnEditsAreNot) {
    const std::vector<Tampering> cases = {
        {"untouched", [](IntegrityCheck&) {}, {}, ""},
        {"value edited by raw SQL",
         [](IntegrityCheck& t) { RawExec(t.file, "update measurements set mvalue = 251 where mvalue = 250"); },
         {"record-changed"},
         "mvalue: в образе 250, в базе 251"},
        {"time edited by raw SQL",
         [](IntegrityCheck& t) {
             RawExec(t.file, "update measurements set time = '2026-03-17 09:21:00' where mvalue = 250");
         },
         {"record-changed"},
         "time: в образе 2026-03-17 09:20:00, в базе 2026-03-17 09:21:00"},
        {"a byte of a record altered in the image",
         [](IntegrityCheck& t) { FlipByte(t.image, kSingleRecordsOffset + 2); },
         {"image-altered", "record-changed"},
         "SHA-256 не совпадает с отпечатком"},
        {"a byte outside the records altered in the image",
         [](IntegrityCheck& t) { FlipByte(t.image, kMemoryImageSize - 1); },
         {"image-altered"},
         "изменён"},
        {"image deleted",
         [](IntegrityCheck& t) { fs::remove(PathFromUtf8(t.image)); },
         {"image-missing"},
         "нет файла образа памяти"},
        {"measurement deleted by raw SQL",
         [](IntegrityCheck& t) { RawExec(t.file, "delete from measurements where mvalue = 250"); },
         {"record-deleted"},
         "2026-03-17 09:20:00): удалена из базы не через программу"},
        {"history deleted by raw SQL",
         [](IntegrityCheck& t) { RawExec(t.file, "delete from measurements"); },
         {"record-deleted"},
         ""},
        {"a link of the download removed",
         [](IntegrityCheck& t) {
             RawExec(t.file, "delete from downloadrecords where rowid = (select max(rowid) from downloadrecords)");
         },
         {"records-relinked"},
         "связано с загрузкой"},
        {"an audit entry removed",
         [](IntegrityCheck& t) {
             RawExec(t.file, "drop trigger auditlog_no_delete; delete from auditlog where id = 1");
         },
         {"audit-gap", "audit-unprotected"},
         "Журнал изменений"},
        {"workplace and height edited",
         [](IntegrityCheck& t) {
             RawExec(t.file, "update measurements set workplace = 4, height = 3");
             SetStoredWorkplace(MainDatabase(), 1, 7);
         },
         {},
         ""},
        {"history cleared by the program", [](IntegrityCheck&) { ClearMeasurementHistory(MainDatabase()); }, {}, ""},
        {"a download of an older version without fingerprint",
         [](IntegrityCheck& t) { RawExec(t.file, "delete from downloadfingerprints"); },
         {},
         ""},
    };
    for (const Tampering& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        c.tamper(*this);
        const TIntegrityReport report = VerifyIntegrity();
        EXPECT_EQ(KindsOf(report), c.kinds);
        if (!c.fragment.empty()) {
            EXPECT_TRUE(Names(report, c.fragment)) << (report.issues.empty() ? "" : report.issues[0].text);
        }
        EXPECT_EQ(report.Clean(), c.kinds.empty());
        EXPECT_EQ(report.downloads, 1u);
        EXPECT_EQ(report.images, 1u);
    }
}

TEST_F(IntegrityCheck, CountsWhatItCompared) {
    TIntegrityReport report = VerifyIntegrity();
    EXPECT_EQ(report.records, records);
    EXPECT_EQ(report.recordsCleared, 0u);
    EXPECT_EQ(report.imagesWithoutFingerprint, 0u);
    EXPECT_EQ(IntegritySummary(report).back(), "Различий нет");

    ClearMeasurementHistory(MainDatabase());
    report = VerifyIntegrity();
    EXPECT_EQ(report.records, 0u);
    EXPECT_EQ(report.recordsCleared, records);
    // The same records stored again by a later download are compared again.
    const DriverBackendScope backend(std::make_shared<TSimulatedMeter>(MeterMemory()));
    TSLDeviceDataSource source;
    TMeasureDataP data;
    source.GetData("", data);
    TDownloadInfo info = source.LastDownload();
    info.time = EncodeDateTime(2026, 3, 18, 8, 0, 0, 0);
    StoreDownload(data, info);
    RawExec(file, "delete from measurements where mvalue = 250");
    report = VerifyIntegrity();
    EXPECT_EQ(report.recordsCleared, records);
    EXPECT_EQ(KindsOf(report), (std::set<std::string>{"record-deleted"}));
    EXPECT_EQ(report.issues.size(), 1u);
    EXPECT_NE(report.issues[0].text.find("Загрузка 2 (2026-03-18 08:00:00)"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(IntegrityCheck, ADownloadOfRecordsStoredBeforeAndNewOnesIsComparedWhole) {
    // The meter's memory again with two more readings: its links hold old ids and new ones, not in one run.
    const TDateTime at = kDay + EncodeTime(11, 0, 0, 0);
    TImageBuilder more;
    more.AddSingle(250, kDay + EncodeTime(9, 20, 0, 0), SingleFlags(TFieldClass::Workplace, false, false, false));
    more.AddSingle(25, kDay + EncodeTime(9, 20, 1, 0), SingleFlags(TFieldClass::Workplace, true, true, false));
    more.AddSingle(4000, kDay + EncodeTime(9, 20, 2, 0), SingleFlags(TFieldClass::PowerFrequency, false, false, false));
    more.AddSingle(300, kDay + EncodeTime(9, 20, 2, 0), SingleFlags(TFieldClass::PowerFrequency, true, false, false));
    more.AddSingle(7, at, SingleFlags(TFieldClass::General, false, false, false));
    more.AddSingle(9, at + kSecond, SingleFlags(TFieldClass::Workplace, false, false, false));
    more.SetMonitoring(MonitorMode(TFieldClass::Workplace, false, false, false), 0, kDay + EncodeTime(10, 0, 0, 0), 10,
                       {150, 175.5, 160});
    const DriverBackendScope backend(std::make_shared<TSimulatedMeter>(more.Image()));
    TSLDeviceDataSource source;
    TMeasureDataP data;
    source.GetData("", data);
    TDownloadInfo info = source.LastDownload();
    info.time = EncodeDateTime(2026, 3, 18, 8, 0, 0, 0);
    const TStoreCounts counts = StoreDownload(data, info);
    ASSERT_EQ(counts.added, 2u);
    TIntegrityReport report = VerifyIntegrity();
    EXPECT_TRUE(report.Clean()) << report.issues.at(0).text;
    EXPECT_EQ(report.records, records + data.TotalRecords());

    RawExec(file, "update measurements set mvalue = 8 where mvalue = 7");
    report = VerifyIntegrity();
    ASSERT_EQ(report.issues.size(), 1u);
    EXPECT_NE(report.issues[0].text.find("Загрузка 2 (2026-03-18 08:00:00)"), std::string::npos);
    EXPECT_NE(report.issues[0].text.find("mvalue: в образе 7, в базе 8"), std::string::npos) << report.issues[0].text;
}

}  // namespace
