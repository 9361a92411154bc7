#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/SimulatedMeter.h"
#include "device/ZorvexDriver.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::ScriptedPrompts;

namespace {

// A driver opened on a simulated meter serving a built memory.
class DriverLink : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    TImageBuilder builder;
    std::shared_ptr<TSimulatedMeter> meter;
    std::unique_ptr<DriverBackendScope> backend;

    TZorvexDriver& Open() {
        driver_.reset();
        backend.reset();
        meter = std::make_shared<TSimulatedMeter>(builder.Image());
        backend = std::make_unique<DriverBackendScope>(meter);
        driver_ = std::make_unique<TZorvexDriver>();
        EXPECT_TRUE(driver_->OpenDevice(0));
        return *driver_;
    }

private:
    std::unique_ptr<TZorvexDriver> driver_;
};

TEST_F(DriverLink, WriteByteSendsTheFourByteFrameAndWantsTheAcknowledgement) {
    builder.SetSingleCount(17);
    auto& driver = Open();
    EXPECT_TRUE(driver.WriteByte(5194, 0));
    EXPECT_EQ(meter->frames, (std::vector<std::vector<std::uint8_t>>{{0x41, 0x4A, 0x14, 0x00}}));
    EXPECT_EQ(meter->Image()[5194], 0);

    meter->acknowledgement = 0x10;
    EXPECT_FALSE(driver.WriteByte(5194, 0));
    EXPECT_TRUE(prompts->shown.empty());
}

TEST_F(DriverLink, FailedRequestShowsTheSystemMessageAndReadsNothing) {
    auto& driver = Open();
    meter->failWriteAt = 0;
    meter->failReadAt = 0;  // would raise if a reply were read
    EXPECT_FALSE(driver.WriteByte(5194, 0));
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].text, "Присоединённое к системе устройство не работает.");
    EXPECT_EQ(prompts->shown[0].icon, MessageIcon::Error);

    std::array<std::uint8_t, kSectorSize> sector{};
    meter->failWriteAt = 1;
    EXPECT_FALSE(driver.ReadSector(3, sector));
    EXPECT_TRUE(meter->frames.empty());
    // The passport cannot go on without its sector.
    meter->failWriteAt = 2;
    try {
        driver.GetPowerOnCount();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Ошибка обмена");
    }
}

TEST_F(DriverLink, FailedReplyRaisesTheSystemError) {
    auto& driver = Open();
    meter->failReadAt = 0;
    try {
        driver.WriteByte(1, 2);
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), 31u);
        EXPECT_EQ(e.Message(), "Системная ошибка. Код: 31.\nПрисоединённое к системе устройство не работает.");
    }
}

TEST_F(DriverLink, MeterSectorsStopAt255) {
    auto& driver = Open();
    std::array<std::uint8_t, kSectorSize> sector{};
    EXPECT_TRUE(driver.ReadSector(255, sector));
    EXPECT_FALSE(driver.ReadSector(256, sector));
    EXPECT_EQ(meter->SectorRequests(), std::vector<int>{255});
}

TEST_F(DriverLink, PassportReadsSector10ForEachValue) {
    builder.SetPassport({123456, 789, 256, 0x00020003, {0, 0, 12, 31, 12, 9}});
    auto& driver = Open();
    EXPECT_EQ(driver.GetSerialNumber(), "123456");
    EXPECT_EQ(driver.GetPowerOnCount(), 789);
    EXPECT_EQ(driver.GetRunningTime(), 300);
    EXPECT_EQ(driver.GetFirmwareVersion(), 0x00020003);
    EXPECT_EQ(driver.GetCalibrationDate(), EncodeDateTime(2009, 12, 31, 12, 0, 0, 0));
    EXPECT_EQ(meter->SectorRequests(), (std::vector<int>{10, 10, 10, 10, 10}));
}

TEST_F(DriverLink, UnprogrammedPassportValues) {
    struct Case {
        std::int32_t firmware;
        std::int32_t expectedFirmware;
        std::array<std::uint8_t, 6> calibration;
    };
    const Case cases[] = {
        {-1, 65536, {0, 0, 0, 0, 0, 0}},
        {-1, 65536, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {65536, 65536, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        builder.SetPassport({1, 1, 1, c.firmware, c.calibration});
        auto& driver = Open();
        EXPECT_EQ(driver.GetFirmwareVersion(), c.expectedFirmware);
        EXPECT_EQ(driver.GetCalibrationDate(), 0.0);
    }
    builder.SetPassport({1, 1, 1, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}});
    EXPECT_THROW(Open().GetCalibrationDate(), EConvertError);
}

TEST(RunningTime, CounterUnitsToSecondsHalvesToEven) {
    struct Case {
        std::int32_t counter;
        std::int64_t seconds;
    };
    const Case cases[] = {
        {0, 0},
        {256, 300},
        {10'000'000, 11'718'750},  // 3 000 000 000 on the way: past int32
        {2147483647, 2516582399},  // 2 516 582 398.83
        {1, 1},                    // 1.17
        {32, 38},                  // 37.5 -> even 38
        {96, 112},                 // 112.5 -> even 112
        {160, 188},                // 187.5 -> even 188
        {-1, -1},                  // -1.17
        {-32, -38},                // -37.5 -> even -38
    };
    for (const auto& c : cases) EXPECT_EQ(RunningTimeSeconds(c.counter), c.seconds) << c.counter;
}

TEST(DriverImageFile, SectorsComeFromTheFileAndZerosPastItsEnd) {
    zorvex::test::TempDir dir;
    TImageBuilder builder;
    for (int i = 0; i < kMemoryImageSize; i += 4) builder.SetInt32(i, i);
    builder.WriteFile(dir.File("full.img"));
    builder.WriteFile(dir.File("short.img"), 10 * kSectorSize + 100);

    TZorvexDriver driver;
    driver.ImageFile = dir.File("full.img");
    ASSERT_TRUE(driver.OpenDevice(7));
    std::array<std::uint8_t, kSectorSize> sector{};
    ASSERT_TRUE(driver.ReadSector(10, sector));
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), builder.Image().begin() + 5120));
    EXPECT_EQ(driver.ReadInt32(5200), 5200);

    driver.ImageFile = dir.File("short.img");
    ASSERT_TRUE(driver.OpenDevice(0));
    for (const int s : {10, 11, 200}) {
        sector.fill(0xAA);  // whatever the buffer held before must not show through
        ASSERT_TRUE(driver.ReadSector(static_cast<std::uint16_t>(s), sector));
        const int inFile = s == 10 ? 100 : 0;
        EXPECT_EQ(driver.LastSectorBytes(), inFile);
        EXPECT_TRUE(std::equal(sector.begin(), sector.begin() + inFile, builder.Image().begin() + s * kSectorSize));
        EXPECT_TRUE(std::all_of(sector.begin() + inFile, sector.end(), [](auto b) { return b == 0; })) << s;
    }
    // The file is only read: no byte write reaches it.
    EXPECT_FALSE(driver.WriteByte(5194, 0));

    driver.ImageFile = dir.File("missing.img");
    EXPECT_FALSE(driver.OpenDevice(0));
}

TEST(DriverImageFile, ReadBytesStaysInsideOneSector) {
    zorvex::test::TempDir dir;
    TImageBuilder().WriteFile(dir.File("m.img"));
    TZorvexDriver driver;
    driver.ImageFile = dir.File("m.img");
    ASSERT_TRUE(driver.OpenDevice(0));
    std::vector<std::uint8_t> bytes(513);
    try {
        driver.ReadBytes(0, bytes.data(), 513);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Out of EEPROM sector!");
    }
    EXPECT_NO_THROW(driver.ReadBytes(5120, bytes.data(), 512));
}

TEST(DriverLoader, HandleIsReleasedOnEveryPath) {
    auto meter = std::make_shared<TSimulatedMeter>(std::vector<std::uint8_t>{});
    DriverBackendScope scope(meter);
    {
        TAT89DriverLoader loader;
        EXPECT_FALSE(loader.OpenDevice(1));  // only one meter attached
        EXPECT_TRUE(loader.OpenDevice(0));
        EXPECT_TRUE(loader.OpenDevice(0));  // opening again does not leak the first handle
        EXPECT_EQ(meter->opens, 2);
        EXPECT_EQ(meter->closes, 1);
    }
    EXPECT_FALSE(meter->IsOpen());  // the destructor closed it

    TAT89DriverLoader loader;
    std::uint8_t byte = 0x5A;
    EXPECT_FALSE(loader.WriteCommand(&byte, 1));  // nothing open
    loader.ReadData(&byte, 1);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_TRUE(meter->frames.empty());

    // A reply shorter than asked is no reply.
    ASSERT_TRUE(loader.OpenDevice(0));
    EXPECT_TRUE(loader.WriteCommand(&byte, 1));  // sector request: 512 bytes come back
    std::vector<std::uint8_t> buffer(600);
    EXPECT_THROW(loader.ReadData(buffer.data(), 600), Exception);
    loader.CloseDevice();
    EXPECT_FALSE(meter->IsOpen());
}

TEST(DriverLoader, ScopeRestoresThePreviousBackend) {
    auto outer = std::make_shared<TSimulatedMeter>(std::vector<std::uint8_t>{});
    auto inner = std::make_shared<TSimulatedMeter>(std::vector<std::uint8_t>{});
    DriverBackendScope outerScope(outer);
    {
        DriverBackendScope innerScope(inner);
        EXPECT_EQ(&DriverBackend(), inner.get());
    }
    EXPECT_EQ(&DriverBackend(), outer.get());
}

}  // namespace
