#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cmath>
#include <csignal>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "device/DemoMeter.h"
#include "device/DeviceDataSource.h"
#include "device/ImageBuilder.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/FileDataAdapter.h"
#include "storage/StoredTimes.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::TempDir;
namespace fs = std::filesystem;

namespace {

// Counts of a download whose image, if any, reached downloads/.
TStoreCounts Counts(std::size_t added, std::size_t skipped) { return {added, skipped, {}}; }

const TDateTime kDay = EncodeDate(2026, 3, 17);
const TDateTime kSecond = 1.0 / 86400;
const TDateTime kEnd = kDay + EncodeTime(18, 5, 9, 0);

// A meter's memory: single records of several kinds, a 50 Hz pair, a
// monitoring run at interval 0 over a steady field (equal records within one
// download) and a passport.
std::vector<std::uint8_t> MeterMemory(std::int32_t serial, double firstValue, TDateTime day = kDay) {
    TImageBuilder builder;
    const TDateTime at = day + EncodeTime(9, 20, 0, 0);
    builder.AddSingle(firstValue, at, SingleFlags(TFieldClass::Workplace, false, false, false));
    builder.AddSingle(25, at + kSecond, SingleFlags(TFieldClass::Workplace, true, true, false));
    builder.AddSingle(4000, at + 2 * kSecond, SingleFlags(TFieldClass::PowerFrequency, false, false, false));
    builder.AddSingle(300, at + 2 * kSecond, SingleFlags(TFieldClass::PowerFrequency, true, false, false));
    builder.AddSingle(12.5, at + 3 * kSecond, SingleFlags(TFieldClass::General, false, false, true));
    std::vector<double> run(600, 150.0);
    run[1] = 175.5;
    builder.SetMonitoring(MonitorMode(TFieldClass::Workplace, false, false, false), 0, day + EncodeTime(10, 0, 0, 0), 0,
                          run);
    TPassport passport;
    passport.serialNumber = serial;
    passport.firmwareVersion = 2 << 16 | 3;
    passport.calibration = MeterTimeFields(EncodeDateTime(2025, 9, 24, 11, 0, 0, 0));
    builder.SetPassport(passport);
    return builder.Image();
}

// What a download of that memory over the driver link gives.
struct Download {
    TMeasureDataP data;
    TDownloadInfo info;
};

Download DriverDownload(const std::vector<std::uint8_t>& memory) {
    const DriverBackendScope backend(std::make_shared<TSimulatedMeter>(memory));
    TSLDeviceDataSource source;
    Download d;
    source.GetData("", d.data);
    d.info = source.LastDownload();
    d.info.time = Now();
    return d;
}

std::vector<std::int32_t> IdsOf(const TMeasureDataP& data) {
    std::vector<std::int32_t> ids;
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k)
            for (const auto& r : data(m, k).Records) ids.push_back(r.id);
    return ids;
}

TMeasureDataP WithoutIds(TMeasureDataP data) {
    for (auto& methods : data.series)
        for (auto& series : methods)
            for (auto& r : series.Records) r.id = 0;
    return data;
}

std::size_t FilesIn(const fs::path& directory) {
    std::error_code ec;
    if (!fs::exists(directory, ec)) return 0;
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++n;
    return n;
}

class DownloadStore : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir.File("data.db");
        SetMainDatabase(OpenDatabase(file));
    }
    void TearDown() override { SetMainDatabase(nullptr); }

    // Stores as the program does, and holds the count shown beforehand to the result.
    TStoreCounts Store(TMeasureDataP& data, const TDownloadInfo& info) {
        const TStoreCounts announced = CountNewMeasurements(data, info.link);
        const TStoreCounts counts = StoreDownload(data, info);
        EXPECT_EQ(announced, counts);
        EXPECT_EQ(CountNewMeasurements(data, info.link), (Counts(0, data.TotalRecords())));
        return counts;
    }
    std::int64_t Rows(const std::string& table) { return MainDatabase().ScalarInt("select count(*) from " + table); }
    bool HasTable(const std::string& name) {
        return RawRows(file, "select count(*) from sqlite_master where name = '" + name + "'")[0][0] != "0";
    }

    std::shared_ptr<zorvex::test::ScriptedPrompts> prompts = std::make_shared<zorvex::test::ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(kEnd);
    ClockScope clockScope{clock};
    TempDir dir;
    std::string file;
};

}  // namespace

TEST_F(DownloadStore, TheSameMemoryDownloadedTwiceIsStoredOnceAndBothDownloadsAreKept) {
    const auto memory = MeterMemory(1207, 200);
    Download first = DriverDownload(memory);
    const std::size_t n = first.data.TotalRecords();
    ASSERT_EQ(n, 4u + 600u);  // the pair is one record; the run's equal records all count
    EXPECT_EQ(Store(first.data, first.info), (Counts(n, 0)));
    const auto firstIds = IdsOf(first.data);
    EXPECT_EQ(std::set<std::int32_t>(firstIds.begin(), firstIds.end()).size(), n);  // each its own row
    // The user notes a workplace on a stored row; downloading again must not take it away.
    MainDatabase().Execute("update measurements set workplace=? where id=?", {7, firstIds[0]});

    Download second = DriverDownload(memory);  // in the same second, from the uncleared meter
    EXPECT_EQ(Store(second.data, second.info), (Counts(0, n)));
    EXPECT_EQ(IdsOf(second.data), firstIds);
    EXPECT_EQ(second.data(kMethodSingle, kKind50Hz).Records[0].workplace, 7);  // the first in store order
    EXPECT_EQ(Rows("measurements"), static_cast<std::int64_t>(n));
    EXPECT_EQ(Rows("downloadrecords"), static_cast<std::int64_t>(2 * n));

    const auto downloads = ListDownloads();
    ASSERT_EQ(downloads.size(), 2u);
    const fs::path folder = fs::canonical(dir.path()) / "downloads";
    const std::string names[] = {"2026-03-17 18-05-09-1207.bin", "2026-03-17 18-05-09-1207-2.bin"};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const TDownloadRow& row = downloads[i];
        EXPECT_EQ(row.time, kEnd);
        EXPECT_EQ(row.link, "driver");
        EXPECT_EQ(row.serialNumber, 1207);
        EXPECT_EQ(row.firmware, "2.3");
        EXPECT_EQ(row.calibrationDate, EncodeDateTime(2025, 9, 24, 11, 0, 0, 0));
        EXPECT_EQ(row.added, i == 0 ? static_cast<std::int64_t>(n) : 0);
        EXPECT_EQ(row.skipped, i == 0 ? 0 : static_cast<std::int64_t>(n));
        EXPECT_EQ(row.imageFile, Utf8FromPath(folder / PathFromUtf8(names[i])));
        EXPECT_EQ(zorvex::test::ReadFileBytes(PathFromUtf8(row.imageFile)), std::string(memory.begin(), memory.end()));
        // The kept file decodes as the meter did.
        TSLDeviceDataSource decoder;
        decoder.ImageFile = row.imageFile;
        TMeasureDataP decoded;
        decoder.GetData("", decoded);
        EXPECT_EQ(decoded, WithoutIds(first.data));
    }
    EXPECT_EQ(FilesIn(folder), 2u);

    // Every record came with both downloads; an id of no download gives none.
    EXPECT_EQ(DownloadsOfMeasurements(firstIds), downloads);
    EXPECT_EQ(DownloadsOfMeasurements({firstIds.back()}), downloads);
    EXPECT_TRUE(DownloadsOfMeasurements({999999}).empty());
}

TEST_F(DownloadStore, ARecordDifferingInAnyMeasuredFieldIsKeptAndTheUsersNotesDoNotCount) {
    TMeasureRecord stored;
    stored.kind = kKindSvtMagnetic;
    stored.number = 4;
    stored.time = kDay + EncodeTime(9, 20, 0, 0);
    stored.mvalue = static_cast<double>(159.2f) * 1.256;  // as the USB link gives it: 17 digits
    stored.evalue = -1;
    stored.mvalue2 = 0;
    stored.evalue2 = 0;
    const auto matrixOf = [](int method, int kind, const TMeasureRecord& r) {
        TMeasureDataP data;
        data.SetMethodBytes();
        data(method, kind).Records.push_back(r);
        return data;
    };
    TMeasureDataP first = matrixOf(kMethodSingle, kKindSvtMagnetic, stored);
    TDownloadInfo info;
    info.link = "usb";
    ASSERT_EQ(Store(first, info), (Counts(1, 0)));

    struct Case {
        const char* name;
        void (*change)(TMeasureRecord&);
        int method, kind;
        bool kept;
    };
    const Case cases[] = {
        {"another meter's value at the same second", [](TMeasureRecord& r) { r.mvalue = 200; }, 0, 1, true},
        {"a value one step of a double away", [](TMeasureRecord& r) { r.mvalue = std::nextafter(r.mvalue, 1e9); }, 0, 1,
         true},
        {"electric value", [](TMeasureRecord& r) { r.evalue = 3; }, 0, 1, true},
        {"second values", [](TMeasureRecord& r) { r.mvalue2 = -1; }, 0, 1, true},
        {"second electric value", [](TMeasureRecord& r) { r.evalue2 = -1; }, 0, 1, true},
        {"band", [](TMeasureRecord& r) { r.band = 1; }, 0, 1, true},
        {"rejection", [](TMeasureRecord& r) { r.rejection = 1; }, 0, 1, true},
        {"number", [](TMeasureRecord& r) { r.number = 5; }, 0, 1, true},
        {"one second later", [](TMeasureRecord& r) { r.time += kSecond; }, 0, 1, true},
        {"kind", [](TMeasureRecord&) {}, 0, 3, true},
        {"method", [](TMeasureRecord&) {}, 1, 1, true},
        {"workplace and height",
         [](TMeasureRecord& r) {
             r.workplace = 3;
             r.height = 2;
         },
         0, 1, false},
        {"a fraction of the same second", [](TMeasureRecord& r) { r.time += 0.4 * kSecond; }, 0, 1, false},
    };
    std::int64_t rows = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMeasureRecord r = stored;
        c.change(r);
        TMeasureDataP data = matrixOf(c.method, c.kind, r);
        EXPECT_EQ(Store(data, info), c.kept ? (Counts(1, 0)) : (Counts(0, 1)));
        if (c.kept) ++rows;
        EXPECT_EQ(Rows("measurements"), rows);
        if (!c.kept) {
            EXPECT_EQ(data(c.method, c.kind).Records[0].id, first(0, 1).Records[0].id);
        }
    }

    // A stored method or kind that is no integer is no method 0 or kind 1: the
    // store would refuse to read such a row, so it is no copy of the record.
    for (const char* column : {"method", "kind"}) {
        SCOPED_TRACE(column);
        MainDatabase().Execute(std::string("update measurements set ") + column + " = '" +
                               (column == std::string("method") ? "0abc" : "1x") + "' where id = ?",
                               {first(0, 1).Records[0].id});
        TMeasureDataP data = matrixOf(kMethodSingle, kKindSvtMagnetic, stored);
        EXPECT_EQ(Store(data, info), Counts(1, 0));
        ++rows;
        MainDatabase().Execute("delete from measurements where id <> ?", {first(0, 1).Records[0].id});
        MainDatabase().Execute("update measurements set method = 0, kind = 1 where id = ?", {first(0, 1).Records[0].id});
        rows = 1;
    }
}

TEST_F(DownloadStore, AFailureStoresNothingWritesNoDownloadAndLeavesNoImage) {
    Download old = DriverDownload(MeterMemory(1207, 200));
    TDBDataAdapter().PutData(old.data, "");  // stored before downloads were kept
    const std::int64_t before = Rows("measurements");
    struct Case {
        const char* name;
        const char* obstacle;  // SQL run on the file before the store
        const char* removal;
        bool readerHoldsTheFile;  // the commit cannot get its lock
    };
    const Case cases[] = {
        {"an insert refused after the single records",
         "create trigger refuse before insert on measurements when new.method = 1 "
         "begin select raise(abort, 'refused'); end",
         "drop trigger refuse", false},
        {"the download row refused",
         "create table downloads (id integer primary key autoincrement, time datetime, link text, "
         "serialnumber integer, firmware text, calibrationdate datetime, added integer, skipped integer, "
         "imagefile text check (imagefile is null))",
         "drop table downloads", false},
        {"the commit blocked by a reader", nullptr, nullptr, true},
    };
    MainDatabase().SetBusyTimeout(50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.obstacle) RawExec(file, c.obstacle);
        std::unique_ptr<TSQLiteDatabase> reader;
        if (c.readerHoldsTheFile) {
            reader = TSQLiteDatabase::Open(file);
            reader->Execute("BEGIN");
            reader->Query("select count(*) from measurements");
        }
        Download d = DriverDownload(MeterMemory(2001, 333, kDay + 1));  // new records, another meter
        d.data(kMethodSingle, kKindSvtMagnetic).Records[0].id = 77;     // an id it had before
        EXPECT_THROW(StoreDownload(d.data, d.info), Exception);
        reader.reset();
        if (c.removal) RawExec(file, c.removal);

        EXPECT_FALSE(MainDatabase().InTransaction());
        EXPECT_EQ(Rows("measurements"), before);
        EXPECT_FALSE(HasTable("downloads"));
        EXPECT_FALSE(HasTable("downloadrecords"));
        EXPECT_FALSE(fs::exists(dir.path() / "downloads"));
        EXPECT_EQ(d.data(kMethodSingle, kKindSvtMagnetic).Records[0].id, 77);
        EXPECT_EQ(d.data(kMethodMonitoring, kKindSvtMagnetic).Records[0].id, 0);
    }
    // Without the obstacles the same store works.
    Download d = DriverDownload(MeterMemory(2001, 333, kDay + 1));
    EXPECT_EQ(Store(d.data, d.info), (Counts(604, 0)));
    EXPECT_EQ(Rows("measurements"), before + 604);
    EXPECT_EQ(FilesIn(dir.path() / "downloads"), 1u);
}

// Not on Windows: Wine run as root on the build machine writes a read-only file all the same.
#ifndef _WIN32
TEST(DownloadStoreReadOnly, AReadOnlyDatabaseStoresNothingAndGetsNoImage) {
    // Root ignores file modes, so the check runs in a child without privileges.
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    const std::string file = dir.File("data.db");
    {
        auto db = OpenDatabase(file);
        TMeasureDataP old = DriverDownload(MeterMemory(1207, 200)).data;
        TDBDataAdapter().PutData(old, file);
    }
    fs::permissions(PathFromUtf8(file), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
            SetMainDatabase(OpenDatabase(file));
            // Only the first record is new; the rest equal stored rows.
            Download d = DriverDownload(MeterMemory(2001, 333));
            try {
                StoreDownload(d.data, d.info);
                std::_Exit(4);
            } catch (const ESQLiteException& e) {
                if (e.Message().find("Attempt to write a readonly database") == std::string::npos) std::_Exit(5);
            }
            if (fs::exists(dir.path() / "downloads")) std::_Exit(6);
            if (!ListDownloads().empty() || CountNewMeasurements(d.data, d.info.link).skipped != 603) std::_Exit(7);
            SetMainDatabase(nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(DownloadStore, AnOldDatabaseGainsTheTablesKeepsEveryRowAndDataFilesStayAsTheyWere) {
    // The old program stored every download again: its rows hold each record twice.
    Download old = DriverDownload(MeterMemory(1207, 200));
    TMeasureDataP copy = old.data;
    TDBDataAdapter().PutData(old.data, "");
    TDBDataAdapter().PutData(copy, "");
    const auto schemaBefore = RawRows(file, "select type, name, sql from sqlite_master order by name");
    const auto rowsBefore = RawRows(file, "select * from measurements order by id");

    // Nothing to read yet, and reading adds nothing.
    EXPECT_TRUE(ListDownloads().empty());
    EXPECT_TRUE(DownloadsOfMeasurements(IdsOf(old.data)).empty());
    EXPECT_EQ(CountNewMeasurements(old.data, kLinkDriver), (Counts(0, old.data.TotalRecords())));
    EXPECT_EQ(RawRows(file, "select type, name, sql from sqlite_master order by name"), schemaBefore);

    Download again = DriverDownload(MeterMemory(1207, 200));
    EXPECT_EQ(Store(again.data, again.info), (Counts(0, old.data.TotalRecords())));
    EXPECT_EQ(IdsOf(again.data), IdsOf(old.data));  // the first of the equal rows
    EXPECT_EQ(RawRows(file, "select * from measurements order by id"), rowsBefore);
    const auto schemaAfter = RawRows(file, "select type, name, sql from sqlite_master order by name");
    for (const auto& entry : schemaBefore)  // every table as it was
        EXPECT_NE(std::find(schemaAfter.begin(), schemaAfter.end(), entry), schemaAfter.end()) << entry[1];
    std::set<std::string> added;
    for (const auto& entry : schemaAfter)
        if (std::find(schemaBefore.begin(), schemaBefore.end(), entry) == schemaBefore.end()) added.insert(entry[1]);
    // The time index came with opening the file as the main database.
    EXPECT_EQ(added,
              (std::set<std::string>{"downloads", "downloadrecords", "downloadrecords_measurement", "downloadimages"}));

    // A data file written afterwards, and a new one, carry the eleven tables only.
    const std::string dataFile = dir.File("set.zorvex");
    TFileDataAdapter().PutData(again.data, dataFile);
    OpenDatabase(dir.File("new.zorvex"));
    for (const std::string& f : {dataFile, dir.File("new.zorvex")}) {
        EXPECT_EQ(
            RawRows(f, "select count(*) from sqlite_master where type = 'table' and name != 'sqlite_sequence'")[0][0],
            "11");
        EXPECT_EQ(RawRows(f, "select count(*) from sqlite_master where type = 'index'")[0][0], "0");
    }
}

// Killing the program part way needs fork() and SIGKILL.
#ifndef _WIN32
namespace {

// What the database and downloads/ hold after a download: its rows and the files beside them.
struct Kept {
    std::int64_t downloads = 0, measurements = 0, pendingImages = 0;
    std::vector<std::string> files;  // names in downloads/, hidden ones too
    std::string imageOfTheRow;       // the bytes of the file the downloads row names, "" for none
};

Kept KeptIn(const TempDir& dir) {
    Kept k;
    TSQLiteDatabase& db = MainDatabase();
    k.measurements = db.ScalarInt("select count(*) from measurements");
    if (!ListDownloads().empty()) {
        k.downloads = static_cast<std::int64_t>(ListDownloads().size());
        if (fs::exists(PathFromUtf8(ListDownloads()[0].imageFile)))
            k.imageOfTheRow = test::ReadFileBytes(PathFromUtf8(ListDownloads()[0].imageFile));
    }
    if (db.ScalarInt("select count(*) from sqlite_master where name = 'downloadimages'") > 0)
        k.pendingImages = db.ScalarInt("select count(*) from downloadimages");
    std::error_code ec;
    for (fs::directory_iterator it(dir.path() / "downloads", ec), end; !ec && it != end; it.increment(ec))
        k.files.push_back(Utf8FromPath(it->path().filename()));
    return k;
}

}  // namespace

TEST(DownloadStoreKilled, AtEveryStepTheNextStartLeavesTheRowWithItsImageOrNeither) {
    const ClockScope clock(std::make_shared<FixedClock>(kEnd));
    const auto memory = MeterMemory(1207, 200);
    const Download download = DriverDownload(memory);
    const auto n = static_cast<std::int64_t>(download.data.TotalRecords());
    const std::string image(memory.begin(), memory.end());
    for (int step = 0; step < static_cast<int>(std::size(kDownloadStepNames)); ++step) {
        SCOPED_TRACE(kDownloadStepNames[step]);
        TempDir dir;
        const std::string file = dir.File("data.db");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // As kill -9 at that moment.
            SetDownloadStepHook([step](TDownloadStep reached) {
                if (static_cast<int>(reached) == step) kill(getpid(), SIGKILL);
            });
            SetMainDatabase(OpenDatabase(file));
            Download d = download;
            StoreDownload(d.data, d.info);
            std::_Exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

        // The next start.
        SetMainDatabase(OpenDatabase(file));
        FinishPendingDownloads();
        const Kept kept = KeptIn(dir);
        const bool committed = step >= static_cast<int>(TDownloadStep::Committed);
        EXPECT_EQ(kept.downloads, committed ? 1 : 0);
        EXPECT_EQ(kept.measurements, committed ? n : 0);
        EXPECT_EQ(kept.files,
                  committed ? std::vector<std::string>{"2026-03-17 18-05-09-1207.bin"} : std::vector<std::string>{});
        EXPECT_EQ(kept.imageOfTheRow, committed ? image : "");
        EXPECT_EQ(kept.pendingImages, 0);
        // And downloads go on as before: the same memory again adds nothing.
        Download again = download;
        EXPECT_EQ(StoreDownload(again.data, again.info), (Counts(committed ? 0 : download.data.TotalRecords(),
                                                                       committed ? download.data.TotalRecords() : 0)));
        EXPECT_EQ(KeptIn(dir).files.size(), committed ? 2u : 1u);
        SetMainDatabase(nullptr);
    }
}
#endif

TEST_F(DownloadStore, AnImageThatCannotBeWrittenYetWaitsInTheDatabaseWithTheRecordsStored) {
    test::WriteFileBytes(dir.path() / "downloads", "not a folder");  // the folder cannot be made
    Download d = DriverDownload(MeterMemory(1207, 200));
    const TStoreCounts counts = StoreDownload(d.data, d.info);
    EXPECT_EQ(counts.added, d.data.TotalRecords());
    EXPECT_NE(counts.imageProblem.find("Не удалось записать файл"), std::string::npos) << counts.imageProblem;
    EXPECT_EQ(Rows("measurements"), static_cast<std::int64_t>(d.data.TotalRecords()));
    EXPECT_EQ(Rows("downloadimages"), 1);
    EXPECT_EQ(FinishPendingDownloads(), 0u);  // still in the way

    fs::remove(dir.path() / "downloads");
    EXPECT_EQ(FinishPendingDownloads(), 1u);
    EXPECT_EQ(Rows("downloadimages"), 0);
    ASSERT_EQ(ListDownloads().size(), 1u);
    EXPECT_EQ(zorvex::test::ReadFileBytes(PathFromUtf8(ListDownloads()[0].imageFile)),
              std::string(d.info.image.begin(), d.info.image.end()));
    EXPECT_EQ(FinishPendingDownloads(), 0u);
}

TEST_F(DownloadStore, ToldToStopBeforeItsCommitItStoresNothing) {
    Download d = DriverDownload(MeterMemory(1207, 200));
    d.data(kMethodSingle, kKindSvtMagnetic).Records[0].id = 77;
    int asked = 0;
    EXPECT_THROW(StoreDownload(d.data, d.info,
                               [&] {
                                   ++asked;
                                   return false;
                               }),
                 EDownloadStopped);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Rows("measurements"), 0);
    EXPECT_TRUE(ListDownloads().empty());
    EXPECT_FALSE(fs::exists(dir.path() / "downloads"));
    EXPECT_EQ(d.data(kMethodSingle, kKindSvtMagnetic).Records[0].id, 77);
    EXPECT_EQ(Store(d.data, d.info).added, d.data.TotalRecords());
}

namespace {

// A download of the demonstration meter over one link.
Download DemoDownload(TDemoLink link) {
    const TDemoMeter meter(link);
    TDeviceDataSource source;
    Download d;
    source.GetData("", d.data);
    d.info = source.LastDownload();
    return d;
}

// The times as the database keeps them, to the second.
TMeasureDataP ToTheSecond(TMeasureDataP data) {
    for (auto& methods : data.series)
        for (auto& series : methods)
            for (auto& r : series.Records) r.time = ParseStoredTime(StoredTime(r.time));
    return data;
}

TMeasureDataP OneRecord(int method, int kind, const TMeasureRecord& r) {
    TMeasureDataP data;
    data.SetMethodBytes();
    data(method, kind).Records.push_back(r);
    return data;
}

}  // namespace

TEST_F(DownloadStore, OneMeterReadOverBothLinksIsStoredOnce) {
    const struct {
        const char* name;
        TDemoLink first, second;
    } cases[] = {{"driver, then USB", TDemoLink::Driver, TDemoLink::Usb},
                 {"USB, then driver", TDemoLink::Usb, TDemoLink::Driver}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetMainDatabase(OpenDatabase(dir.File(std::string(c.name) + ".db")));
        Download first = DemoDownload(c.first);
        const std::size_t singles =
            DemoMeasurements().TotalRecords() - DemoMeasurements()(1, kKindSvtMagnetic).Records.size();
        const std::size_t n = first.data.TotalRecords();
        ASSERT_EQ(n, 60u + 1441u);
        ASSERT_EQ(Store(first.data, first.info), (Counts(n, 0)));
        // The user's note on a stored row stays with it.
        TMeasureRecord& noted = first.data(kMethodSingle, kKindSvtMagnetic).Records[2];
        noted.workplace = 6;
        MainDatabase().Execute("update measurements set workplace = 6 where id = ?", {noted.id});

        Download second = DemoDownload(c.second);
        ASSERT_NE(WithoutIds(second.data), WithoutIds(first.data));  // the links do give the day differently
        const auto byMethod = CountNewMeasurementsByMethod(second.data, second.info.link);
        EXPECT_EQ(byMethod[kMethodSingle], (Counts(0, singles)));
        EXPECT_EQ(byMethod[kMethodMonitoring], (Counts(0, n - singles)));
        EXPECT_EQ(Store(second.data, second.info), (Counts(0, n)));
        EXPECT_EQ(Rows("measurements"), static_cast<std::int64_t>(n));
        // What the window shows after the download is what the database holds.
        EXPECT_EQ(ToTheSecond(second.data), ToTheSecond(first.data));

        // Again over either link: nothing new.
        for (const TDemoLink link : {c.second, c.first}) {
            Download again = DemoDownload(link);
            EXPECT_EQ(Store(again.data, again.info), (Counts(0, n)));
        }
        EXPECT_EQ(Rows("measurements"), static_cast<std::int64_t>(n));
        EXPECT_EQ(Rows("downloads"), 4);
    }
}

TEST_F(DownloadStore, AcrossLinksARecordIsTheSameWithinTheDriverLinksPrecision) {
    // A magnetic workplace reading as the driver link stores it...
    TMeasureRecord driver;
    driver.kind = kKindSvtMagnetic;
    driver.number = 4;
    driver.band = kBandHigh;
    driver.time = kDay + EncodeTime(9, 20, 0, 0);
    driver.mvalue = 159.25;  // 1.00111110 10 x 2^7: one step of its code is 2^-8
    driver.evalue = -1;
    driver.mvalue2 = driver.evalue2 = 0;
    // ... and as the USB link gives the same reading.
    TMeasureRecord usb = driver;
    usb.number = 9;
    usb.mvalue = static_cast<double>(static_cast<float>(159.25 / 1.256)) * 1.256;
    usb.mvalue2 = usb.evalue2 = -1;
    ASSERT_NE(usb.mvalue, driver.mvalue);

    struct Case {
        const char* name;
        void (*change)(TMeasureRecord&);
        int method;
        const char* storedBy;  // the link of the stored row's download; "" for rows stored without one
        bool same;
    };
    const auto none = [](TMeasureRecord&) {};
    const Case cases[] = {
        {"the same reading", none, 0, kLinkDriver, true},
        {"one step of the driver's code away", [](TMeasureRecord& r) { r.mvalue = 159.25 + 0x1.0p-8; }, 0, kLinkDriver,
         true},
        {"two steps away", [](TMeasureRecord& r) { r.mvalue = 159.25 + 0x1.0p-7; }, 0, kLinkDriver, false},
        {"two steps below", [](TMeasureRecord& r) { r.mvalue = 159.25 - 0x1.0p-7; }, 0, kLinkDriver, false},
        {"magnetic value absent", [](TMeasureRecord& r) { r.mvalue = -1; }, 0, kLinkDriver, false},
        {"a field the kind does not measure", [](TMeasureRecord& r) { r.evalue = 3; }, 0, kLinkDriver, true},
        {"band", [](TMeasureRecord& r) { r.band = kBandLow; }, 0, kLinkDriver, false},
        {"rejection", [](TMeasureRecord& r) { r.rejection = 1; }, 0, kLinkDriver, false},
        {"one second later", [](TMeasureRecord& r) { r.time += kSecond; }, 0, kLinkDriver, false},
        {"a monitoring record, which the USB link gives no band", [](TMeasureRecord& r) { r.band = kBandLow; }, 1,
         kLinkDriver, true},
        {"a monitoring record of another rejection", [](TMeasureRecord& r) { r.rejection = 1; }, 1, kLinkDriver, false},
        {"stored by the same link", none, 0, kLinkUsb, false},
        {"stored without a download", none, 0, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetMainDatabase(OpenDatabase(dir.File(std::string(c.name) + ".db")));
        TMeasureDataP stored = OneRecord(c.method, kKindSvtMagnetic, driver);
        TDownloadInfo by;
        by.link = c.storedBy;
        if (by.link.empty())
            TDBDataAdapter().PutData(stored, "");
        else
            ASSERT_EQ(Store(stored, by), (Counts(1, 0)));
        TMeasureRecord r = usb;
        c.change(r);
        TMeasureDataP data = OneRecord(c.method, kKindSvtMagnetic, r);
        TDownloadInfo info;
        info.link = kLinkUsb;
        EXPECT_EQ(Store(data, info), c.same ? (Counts(0, 1)) : (Counts(1, 0)));
        // Kind 1 only: the same figures in the general magnetic series are another reading.
        TMeasureDataP otherKind = OneRecord(c.method, kKindMagnetic, r);
        EXPECT_EQ(CountNewMeasurements(otherKind, kLinkUsb), (Counts(1, 0)));
    }
}
