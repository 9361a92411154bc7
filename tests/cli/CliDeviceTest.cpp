#ifndef _WIN32
#include <sys/stat.h>  // mkfifo
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "device/ImageBuilder.h"
#include "support/Platform.h"
#include "support/ProcessRun.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawRows;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

// How the simulator's kill -9 ends: by the signal, or on Windows by an exit
// status that runs nothing on the way out.
#ifdef _WIN32
constexpr int kKilledStatus = 137;
#else
constexpr int kKilledStatus = -1;
#endif

TMeasureRecord Single(int number, int kind, double m, double e, int band = 0) {
    TMeasureRecord r;
    r.number = number;
    r.kind = static_cast<std::uint8_t>(kind);
    r.time = EncodeDateTime(2012, 5, 1, 9, 0, number, 0);
    r.mvalue = m;
    r.evalue = e;
    r.band = static_cast<std::uint8_t>(band);
    return r;
}

// A meter memory with three single measurements and a monitoring run of three.
std::vector<std::uint8_t> SampleImage() {
    TMeasureDataP data;
    data.SetMethodBytes();
    data(0, 3).Records.push_back(Single(1, 3, 250, -1));
    data(0, 3).Records.push_back(Single(2, 3, 12.5, -1, 1));
    data(0, 4).Records.push_back(Single(3, 4, -1, 0.75));
    for (int i = 0; i < 3; ++i) {
        TMeasureRecord r = Single(0, 1, 100 + i, -1);
        r.time = EncodeDateTime(2012, 5, 2, 10, 0, 0, 0) + i * 10 / 86400.0;
        data(1, 1).Records.push_back(r);
    }
    return BuildImage(data);
}

class CliDevice : public ::testing::Test {
protected:
    void SetUp() override { WriteImage(SampleImage()); }
    void WriteImage(const std::vector<std::uint8_t>& image) {
        test::WriteFileBytes(dir.path() / "meter.bin", std::string(image.begin(), image.end()));
    }
    test::ProcessResult Sim(const std::vector<std::string>& args, const test::ProcessLimits& limits = {}) {
        return RunProcess(ZORVEX_CLI_SIM_PATH, args, dir.path(), limits);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
            names.push_back(Utf8FromPath(std::filesystem::relative(entry.path(), dir.path())));
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Count(const std::string& sql) { return RawRows(dir.File("data.db"), sql).at(0).at(0); }
    TempDir dir;
};

}  // namespace

TEST_F(CliDevice, DecodePrintsTheImageAndStoresNothing) {
    const auto r = Sim({"decode", "meter.bin", "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6);
    EXPECT_NE(r.out.find("\"method\":0,\"kind\":3,\"id\":0,\"number\":2,\"workplace\":0,\"height\":0,\"time\":"
                         "\"2012-05-01 09:00:02\",\"mvalue\":12.5"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"method\":1,\"kind\":1"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data.db"));

    WriteImage(TImageBuilder().Image());  // a cleared meter
    const auto empty = Sim({"decode", "meter.bin"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "Карта памяти пуста\n");

    EXPECT_EQ(Sim({"decode", "none.bin"}).status, 1);
}

TEST_F(CliDevice, DownloadStoresEveryRecordOnce) {
    const auto r = Sim({"download", "--image", "meter.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("0\t3\t2\tОднократные измерения, Магнитное поле\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1\t1\t3\tДанные мониторинга, СВТ - Магнитное поле\n"), std::string::npos);
    EXPECT_EQ(Count("select count(*) from measurements"), "6");
    EXPECT_EQ(Count("select count(*) from measurements where method=1 and kind=1"), "3");
    EXPECT_EQ(Count("select max(id) from measurements"), "6");
}

TEST_F(CliDevice, DownloadingTheSameMemoryTwiceStoresItOnceAndListsBothDownloads) {
    TPassport passport;
    passport.serialNumber = 1207;
    passport.firmwareVersion = (2 << 16) | 3;
    passport.calibration = {0, 0, 12, 31, 12, 9};  // 31.12.2009
    TImageBuilder builder;
    builder.SetBytes(0, SampleImage());
    builder.SetPassport(passport);
    WriteImage(builder.Image());
    const std::vector<std::string> download = {"--sim-image", "meter.bin", "download"};
    for (const char* counts : {"Новых записей: 6, уже были в базе: 0\n", "Новых записей: 0, уже были в базе: 6\n"}) {
        const auto r = Sim(download);
        ASSERT_EQ(r.status, 0) << r.err;
        // The counts by method and kind, then the line of what was new.
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11) << r.out;
        EXPECT_TRUE(r.out.ends_with(counts)) << r.out;
    }
    EXPECT_EQ(Count("select count(*) from measurements"), "6");
    // A meter on the USB link tells nothing of itself and leaves no memory image.
    ASSERT_EQ(Sim({"--sim-usb-single", "3,0,0,42", "download"}).status, 0);

    const auto table = Sim({"downloads"});
    ASSERT_EQ(table.status, 0) << table.err;
    const std::string time = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";
    const auto literal = [](const std::string& text) {
        return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    };
    const std::string folder = Utf8FromPath(dir.path() / "downloads") + test::kSeparator;
    const std::string name = R"([-\d ]+-1207(-\d+)?\.bin)";
    const std::string image = literal(folder) + name;
    const std::string jsonImage = literal(test::JsonBackslashes(folder)) + name;
    EXPECT_TRUE(std::regex_match(
        table.out, std::regex("№ +Время +Канал +Серийный номер +Версия ПО +Дата поверки +Новых +Уже были +Файл образа\n"
                              "1 +" + time + " +driver +1207 +2\\.3 +2009-12-31 +6 +0 +" + image + "\n"
                              "2 +" + time + " +driver +1207 +2\\.3 +2009-12-31 +0 +6 +" + image + "\n"
                              "3 +" + time + " +usb +- +- +- +1 +0 +-\n")))
        << table.out;

    const auto json = Sim({"downloads", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(std::regex_match(
        json.out,
        std::regex(R"(\{"id":1,"time":")" + time + R"(","link":"driver","serial":1207,"firmware":"2\.3",)"
                   R"("calibration":"2009-12-31","added":6,"skipped":0,"image":")" + jsonImage + "\"\\}\n" +
                   R"(\{"id":2,.*"added":0,"skipped":6,.*\}\n)" +
                   R"(\{"id":3,"time":")" + time + R"(","link":"usb","serial":null,"firmware":null,)"
                   R"("calibration":null,"added":1,"skipped":0,"image":null\}\n)")))
        << json.out;
    // The memory image kept for the first download is the meter's memory.
    std::smatch kept;
    ASSERT_TRUE(std::regex_search(json.out, kept, std::regex(R"re("image":"([^"]+)")re")));
    std::string keptName = kept[1].str();
    for (std::size_t at = keptName.find("\\\\"); at != std::string::npos; at = keptName.find("\\\\", at + 1))
        keptName.erase(at, 1);
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(keptName)), test::ReadFileBytes(dir.path() / "meter.bin"));
}

TEST_F(CliDevice, AnImagePathWithALineBreakStaysOnItsLine) {
    ZORVEX_POSIX_ONLY("a line break in a directory name");
    std::filesystem::create_directory(dir.path() / "a\nb");
    ASSERT_EQ(Sim({"--db", "a\nb/data.db", "download", "--image", "meter.bin"}).status, 0);
    const struct {
        const char* format;
        std::string shown;
    } cases[] = {{"json", "a\\u000ab/downloads/"}, {"table", "a\\x0ab/downloads/"}};
    for (const auto& c : cases) {
        const auto r = Sim({"--db", "a\nb/data.db", "downloads", "--format", c.format});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), c.format == std::string("json") ? 1 : 2) << r.out;
    }
}

TEST_F(CliDevice, AttachedUsbMeterWinsOverTheImage) {
    const auto r = Sim({"--sim-usb-single", "3,0,0,42", "download", "--image", "meter.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count("select count(*) from measurements"), "1");
}

TEST_F(CliDevice, InterruptedDownloadStoresNothing) {
    const auto r = Sim({"--sim-image", "meter.bin", "--sim-interrupt-at-read", "3", "download"});
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.err, "Прервано пользователем\nНичего не сохранено\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data.db"));

    // Into a database that kept a download before: no second download is recorded.
    ASSERT_EQ(Sim({"download", "--image", "meter.bin"}).status, 0);
    EXPECT_EQ(Sim({"--sim-image", "meter.bin", "--sim-interrupt-at-read", "3", "download"}).status, 130);
    const auto downloads = Sim({"downloads", "--format", "json"});
    EXPECT_EQ(std::count(downloads.out.begin(), downloads.out.end(), '\n'), 1) << downloads.out;
    const auto images = std::distance(std::filesystem::directory_iterator(dir.path() / "downloads"),
                                      std::filesystem::directory_iterator());
    EXPECT_EQ(images, 1);
}

TEST_F(CliDevice, CtrlCSaysWhetherTheDownloadWasStored) {
    const struct {
        const char* step;
        bool stored;
    } cases[] = {
        {"begun", false}, {"before-commit", false}, {"committed", true}, {"image-placed", true}, {"finished", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        const std::filesystem::path folder = dir.path() / c.step;
        std::filesystem::create_directory(folder);
        const std::string db = std::string(c.step) + "/data.db";
        const auto r = Sim(
            {"--sim-store-step", std::string(c.step) + ":interrupt", "--db", db, "download", "--image", "meter.bin"});
        EXPECT_EQ(r.status, c.stored ? 0 : 130);
        if (c.stored) {
            EXPECT_TRUE(r.out.ends_with("Новых записей: 6, уже были в базе: 0\n")) << r.out;
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "Прервано пользователем\nНичего не сохранено\n");
        }
        EXPECT_EQ(RawRows(dir.File(db), "select count(*) from measurements")[0][0], c.stored ? "6" : "0");
        const auto downloads = Sim({"--db", db, "downloads", "--format", "json"});
        EXPECT_EQ(std::count(downloads.out.begin(), downloads.out.end(), '\n'), c.stored ? 1 : 0) << downloads.out;
        const bool images =
            std::filesystem::exists(folder / "downloads") && !std::filesystem::is_empty(folder / "downloads");
        EXPECT_EQ(images, c.stored);
    }
}

TEST_F(CliDevice, ADownloadKilledAtAnyStepIsWholeOrAbsentAfterTheNextStart) {
    const std::string memory = test::ReadFileBytes(dir.path() / "meter.bin");
    const struct {
        const char* step;
        bool stored;
    } cases[] = {{"records-stored", false},
                 {"before-commit", false},
                 {"committed", true},
                 {"image-written", true},
                 {"image-placed", true}};
    for (const auto& [step, stored] : cases) {
        SCOPED_TRACE(step);
        const std::filesystem::path folder = dir.path() / step;
        std::filesystem::create_directory(folder);
        const std::string db = std::string(step) + "/data.db";
        const auto killed =
            Sim({"--sim-store-step", std::string(step) + ":kill", "--db", db, "download", "--image", "meter.bin"});
        ASSERT_EQ(killed.status, kKilledStatus) << killed.err;

        // The next start of the tool finishes or forgets it.
        const auto r = Sim({"--db", db, "downloads", "--format", "json"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> files;
        if (std::filesystem::exists(folder / "downloads"))
            for (const auto& entry : std::filesystem::directory_iterator(folder / "downloads"))
                files.push_back(Utf8FromPath(entry.path().filename()));
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), stored ? 1 : 0) << r.out;
        ASSERT_EQ(files.size(), stored ? 1u : 0u);
        if (stored) {
            EXPECT_NE(r.out.find(files[0]), std::string::npos) << r.out;
            EXPECT_EQ(test::ReadFileBytes(folder / "downloads" / PathFromUtf8(files[0])), memory);
        }
    }
}

TEST_F(CliDevice, AShortImageFileIsReadAsFarAsItGoesAndSaysWhatItLacks) {
    const std::vector<std::uint8_t> full = SampleImage();
    const std::string lacking = "Файл образа памяти короче памяти прибора на 27168 байт (5600 из 32768)";
    const struct {
        std::size_t size;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {5600, {"decode", "short.bin"}, lacking + ": записи за его концом не прочитаны\n"},
        {5600, {"download", "--image", "short.bin"}, lacking + ": записи за его концом не прочитаны\n"},
        {5600, {"passport", "--image", "short.bin"}, lacking + "\n"},
        {5210,
         {"passport", "--image", "short.bin"},
         "Файл образа памяти короче памяти прибора на 27558 байт (5210 из 32768): поля паспорта за его концом не "
         "прочитаны\n"},
        {full.size(), {"decode", "short.bin"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.size));
        test::WriteFileBytes(dir.path() / "short.bin", std::string(full.begin(), full.begin() + c.size));
        const auto r = Sim(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.err);
    }
    // The three single records lie within the 5600 bytes, the monitoring run past them.
    EXPECT_EQ(Count("select count(*) from measurements"), "3");
}

TEST_F(CliDevice, Passport) {
    TPassport passport;
    passport.serialNumber = 1207;
    passport.powerOnCount = 33;
    passport.runningCounter = 2560000;  // 3 000 000 s
    passport.firmwareVersion = (2 << 16) | 3;
    passport.calibration = {0, 0, 12, 31, 12, 9};
    WriteImage(TImageBuilder().SetPassport(passport).Image());
    const auto r = Sim({"passport", "--image", "meter.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Серийный номер: 1207\nВерсия ПО: 2.3\nЧисло включений: 33\nВремя работы: 1 мес 4 дней  06:50:00\n"
              "Дата последней поверки: 31.12.2009\n");
}

TEST_F(CliDevice, ClearMeter) {
    const std::vector<std::uint8_t> before = SampleImage();
    ASSERT_NE(before[5194], 0);
    EXPECT_EQ(Sim({"--sim-image", "meter.bin", "clear-meter"}).status, 2);  // no --yes: refused
    const auto cleared = Sim({"--sim-image", "meter.bin", "clear-meter", "--yes"});
    ASSERT_EQ(cleared.status, 0) << cleared.err;
    const std::string after = test::ReadFileBytes(dir.path() / "meter.bin");
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(static_cast<std::uint8_t>(after[i]), i == 5194 ? 0 : before[i]) << "byte " << i;

    struct Case {
        std::vector<std::string> args;
        std::string message;
    } failures[] = {
        {{"--sim-image", "meter.bin", "--sim-ack", "0x12", "clear-meter", "--yes"}, "Ошибка обмена"},
        {{"--sim-image", "meter.bin", "--sim-absent", "1", "clear-meter", "--yes"}, "Устройство не найдено"},
    };
    for (const auto& c : failures) {
        const auto r = Sim(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST_F(CliDevice, TestDataIsStoredLikeTheHiddenCommand) {
    const auto r = Sim({"test-data", "--method", "0", "--kind", "3", "--band", "1", "--rejection", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count("select count(*) from measurements where kind=3 and band=1"), "6");
    EXPECT_EQ(Count("select count(*) from measurements where kind=1"), "6");
    for (const auto& kind : {"9", "x"}) {
        const auto bad = Sim({"test-data", "--method", "0", "--kind", kind, "--band", "0", "--rejection", "0"});
        EXPECT_EQ(bad.status, 2) << kind;  // refused before anything is stored
        EXPECT_NE(bad.err.find(std::string("«") + kind + "»"), std::string::npos) << bad.err;
    }
    EXPECT_EQ(Count("select count(*) from measurements"), "12");
}

TEST_F(CliDevice, DatabaseNameIsCheckedBeforeTheMeterIsRead) {
    std::filesystem::create_directory(dir.path() / "store");
    const std::vector<std::string> before = Names();
    // A read of the meter would stop the command as Ctrl+C does.
    const std::vector<std::string> meter = {"--sim-image", "meter.bin", "--sim-interrupt-at-read", "1"};
    struct Case {
        std::vector<std::string> args;
        std::string errPart;
    } cases[] = {
        {{"--db", "./", "download"}, "«./» — каталог, а не файл"},
        {{"--db", "store", "download"}, "«store» — каталог, а не файл"},
        {{"--db", "", "download"}, "Не указано имя файла"},
        {{"--db", "sub/", "download", "--image", "meter.bin"}, "«sub/» — каталог, а не файл"},
        {{"--db", "sub/", "test-data", "--method", "0", "--kind", "3", "--band", "0", "--rejection", "0"},
         "«sub/» — каталог, а не файл"},
        {{"--db", "", "levels", "swtmflb=1"}, "Не указано имя файла"},
#ifdef _WIN32
        {{"--db", "NUL", "list"}, "«NUL» — не обычный файл"},
        {{"--db", "sub/com1.db", "list"}, "«sub/com1.db» — не обычный файл"},
#else
        {{"--db", "/dev/null", "list"}, "«/dev/null» — не обычный файл"},
#endif
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = meter;
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = Sim(args);
        EXPECT_EQ(r.status, 1) << c.args[1] << " " << c.args[2];
        EXPECT_NE(r.err.find("--db: " + c.errPart), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Прервано"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Names(), before);
}

TEST_F(CliDevice, FilesToReadMustBeRegularFiles) {
    std::filesystem::create_directory(dir.path() / "folder");
    struct Case {
        std::string name;
        std::string errPart;
    };
    std::vector<Case> files = {{"folder", "«folder» — каталог, а не файл"}};
#ifndef _WIN32
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    files.push_back({"fifo", "«fifo» — не обычный файл"});
#endif
    test::ProcessLimits limits;
    limits.timeout = std::chrono::seconds(10);  // a read of the FIFO would block for good
    for (const auto& file : files)
        for (const auto& args : std::vector<std::vector<std::string>>{{"decode", file.name},
                                                                      {"open", file.name},
                                                                      {"download", "--image", file.name},
                                                                      {"passport", "--image", file.name}}) {
            const auto r = Sim(args, limits);
            EXPECT_FALSE(r.timedOut) << args[0] << " " << file.name;
            EXPECT_EQ(r.status, 1) << args[0] << " " << file.name;
            EXPECT_NE(r.err.find(file.errPart), std::string::npos) << r.err;
        }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data.db"));
}

TEST_F(CliDevice, StoreRefusedWhenRecordIdsRunOut) {
    const std::vector<std::string> testData = {"test-data", "--method", "0", "--kind", "3", "--band", "0",
                                               "--rejection", "0"};
    ASSERT_EQ(Sim(testData).status, 0);
    test::RawExec(dir.File("data.db"), "update sqlite_sequence set seq = 2147483646 where name = 'measurements'");
    for (const auto& args : {testData, std::vector<std::string>{"download", "--image", "meter.bin"}}) {
        const auto r = Sim(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("номера записей базы данных исчерпаны"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Count("select count(*) from measurements"), "12");
    const auto list = Sim({"list", "--format", "json"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 12);
}

TEST(CliShipped, NoMeterAnywhere) {
    // The shipped tool on this machine: no driver device, no meter on the USB bus.
    TempDir dir;
    const auto r = RunProcess(ZORVEX_CLI_PATH, {"download"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Устройство не найдено"), std::string::npos) << r.err;
    const auto clear = RunProcess(ZORVEX_CLI_PATH, {"clear-meter", "--yes"}, dir.path());
    EXPECT_EQ(clear.status, 1);
    EXPECT_NE(clear.err.find("Устройство не найдено"), std::string::npos);
}
