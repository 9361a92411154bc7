#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "device/DemoMeter.h"
#include "device/DeviceDataSource.h"
#include "device/DownloadInfo.h"
#include "device/ImageBuilder.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::ScriptedPrompts;

namespace {

const TDateTime kEnd = EncodeDateTime(2026, 3, 17, 18, 5, 9, 0);

class DeviceDownloadInfo : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    ClockScope clock{std::make_shared<FixedClock>(kEnd)};
};

}  // namespace

TEST_F(DeviceDownloadInfo, DriverLinkKeepsTheWholeMemoryWhichDecodesToTheSameRecordsAgain) {
    const TDemoMeter demo(TDemoLink::Driver);
    TDeviceDataSource source;
    TMeasureDataP data;
    source.GetData("", data);
    ASSERT_EQ(data, DemoMeasurements());

    const TDownloadInfo& info = source.LastDownload();
    EXPECT_EQ(info.link, "driver");
    EXPECT_EQ(info.time, kEnd);
    EXPECT_EQ(info.image, DemoMemoryImage());  // every byte, not only the sectors the records need
    EXPECT_EQ(info.serialNumber, 21457);
    EXPECT_EQ(info.firmware, "2.3");
    EXPECT_EQ(info.calibrationDate, EncodeDateTime(2025, 9, 24, 11, 0, 0, 0));

    // The kept image as a file, and served again by a meter behind the driver link.
    zorvex::test::TempDir dir;
    const std::string file = dir.File("kept.bin");
    zorvex::test::WriteFileBytes(PathFromUtf8(file), std::string(info.image.begin(), info.image.end()));
    TSLDeviceDataSource fromFile;
    fromFile.ImageFile = file;
    TMeasureDataP decoded;
    fromFile.GetData("", decoded);
    EXPECT_EQ(decoded, data);
    EXPECT_EQ(fromFile.LastDownload().image, info.image);

    const DriverBackendScope again(std::make_shared<TSimulatedMeter>(info.image));
    TSLDeviceDataSource fromMeter;
    TMeasureDataP redownloaded;
    fromMeter.GetData("", redownloaded);
    EXPECT_EQ(redownloaded, data);
    EXPECT_EQ(fromMeter.LastDownload().image, info.image);

    // A failed download leaves nothing of the one before.
    source.ImageFile = dir.File("missing.bin");
    TMeasureDataP none;
    EXPECT_THROW(source.GetData("", none), Exception);
    EXPECT_EQ(source.LastDownload(), TDownloadInfo{});
}

TEST_F(DeviceDownloadInfo, UsbLinkHasNoImageAndNoPassport) {
    const TDemoMeter demo(TDemoLink::Usb);
    TDeviceDataSource source;
    TMeasureDataP data;
    source.GetData("", data);
    ASSERT_FALSE(data.IsEmpty());
    TDownloadInfo expected;
    expected.link = "usb";
    expected.time = kEnd;
    EXPECT_EQ(source.LastDownload(), expected);
}

TEST_F(DeviceDownloadInfo, UnprogrammedOrDamagedPassportFieldsAreUnknownAndTheRecordsStillCome) {
    const std::vector<std::uint8_t> none(22, 0x00), erased(22, 0xFF);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> passport;  // bytes 5200-5221
        int fileSize;                        // of the memory-image file read instead of the meter
        std::optional<std::int32_t> serial;
        std::optional<std::string> firmware;
        std::optional<TDateTime> calibration;
        bool imageKept;
    };
    // serial 1207, 9 power-ons, counter 256, firmware 1.10, calibrated 31.12.2009 12:00:00
    const std::vector<std::uint8_t> programmed = {0xB7, 0x04, 0, 0, 9, 0, 0, 0,  0,  1,  0,
                                                  0,    0x0A, 0, 1, 0, 0, 0, 12, 31, 12, 9};
    std::vector<std::uint8_t> badDate = programmed;
    badDate[20] = 13;  // month 13
    std::vector<std::uint8_t> erasedWords = programmed;
    for (int i = 0; i < 4; ++i) erasedWords[i] = erasedWords[12 + i] = 0xFF;
    const TDateTime calibrated = EncodeDateTime(2009, 12, 31, 12, 0, 0, 0);
    const Case cases[] = {
        {"programmed", programmed, kMemoryImageSize, 1207, "1.10", calibrated, true},
        {"never written", none, kMemoryImageSize, {}, {}, {}, true},
        {"erased", erased, kMemoryImageSize, {}, {}, {}, true},
        {"serial and firmware erased", erasedWords, kMemoryImageSize, {}, {}, calibrated, true},
        {"calibration no date", badDate, kMemoryImageSize, 1207, "1.10", {}, true},
        // A short file: what it holds is read, nothing is kept as an image.
        {"file ends inside the firmware word", programmed, kFirmwareVersionOffset + 2, 1207, {}, {}, false},
    };
    zorvex::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageBuilder builder;
        builder.AddSingle(200, EncodeDateTime(2009, 12, 31, 10, 0, 0, 0), 0x10);
        builder.SetBytes(kSerialNumberOffset, c.passport);
        const std::string file = dir.File(std::string(c.name) + ".bin");
        builder.WriteFile(file, c.fileSize);
        TSLDeviceDataSource source;
        source.ImageFile = file;
        TMeasureDataP data;
        source.GetData("", data);
        // The passport lies before the records: a file cut inside it holds none.
        EXPECT_EQ(data.TotalRecords(), c.imageKept ? 1u : 0u);
        const TDownloadInfo& info = source.LastDownload();
        EXPECT_EQ(info.link, "driver");
        EXPECT_EQ(info.serialNumber, c.serial);
        EXPECT_EQ(info.firmware, c.firmware);
        EXPECT_EQ(info.calibrationDate, c.calibration);
        EXPECT_EQ(info.image, c.imageKept ? builder.Image() : std::vector<std::uint8_t>{});
    }
}
