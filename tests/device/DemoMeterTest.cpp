#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "device/DemoMeter.h"
#include "device/DriverLoader.h"
#include "device/LibUsbDeviceDataSource.h"
#include "device/MeterCommands.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "device/SimulatedUsbBus.h"
#include "device/ZorvexDriver.h"
#include "storage/Levels.h"
#include "support/ScriptedPrompts.h"

using namespace zorvex;
using zorvex::test::ScriptedPrompts;

namespace {

constexpr double kSecond = 1.0 / 86400;

TMeasureDataP DriverDownload() {
    TSLDeviceDataSource source;
    TMeasureDataP data;
    source.GetData("", data);
    return data;
}

std::string ErrorOf(void (*action)()) {
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

// The level a value of this record's kind and band is held against; nothing for the general kinds.
std::optional<double> LevelOf(const TMeasureRecord& r, bool electric) {
    switch (r.kind) {
        case kKind50Hz:
            return kLevelDefaults[electric ? msfEF50hz : msfMF50hz];
        case kKindSvtMagnetic:
            return kLevelDefaults[r.band == kBandLow ? msfMFLB : msfMFHB];
        case kKindSvtElectric:
            return kLevelDefaults[r.band == kBandLow ? msfEFLB : msfEFHB];
        default:
            return std::nullopt;
    }
}

// Every test sees the boxes the code shows and leaves the program-wide seams as it found them.
class Demo : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
};

}  // namespace

TEST(DemoOption, TellsTheLinkAndLeavesOtherArgumentsAlone) {
    const std::pair<const char*, std::optional<TDemoLink>> cases[] = {
        {"--demo", TDemoLink::Driver},
        {"--demo=driver", TDemoLink::Driver},
        {"--demo=usb", TDemoLink::Usb},
        {"--demos", std::nullopt},
        {"--demo-usb", std::nullopt},
        {"-demo", std::nullopt},
        {"demo=usb", std::nullopt},
        {"--DEMO", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [argument, link] : cases) EXPECT_EQ(ParseDemoOption(argument), link) << argument;
}

TEST(DemoOption, UnknownLinkIsRefusedByName) {
    const std::pair<std::string, std::string> cases[] = {
        {"--demo=", ""}, {"--demo=USB", "USB"}, {"--demo=serial", "serial"}};
    for (const auto& [argument, name] : cases) {
        std::string error = "no error";
        try {
            ParseDemoOption(argument);
        } catch (const Exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, "Неизвестный вид демонстрационного прибора: «" + name + "» (допустимо: driver, usb)");
    }
}

TEST_F(Demo, DriverLinkDownloadGivesTheDemoDay) {
    const TDemoMeter demo(TDemoLink::Driver);
    EXPECT_EQ(demo.Link(), TDemoLink::Driver);
    EXPECT_EQ(DriverDownload(), DemoMeasurements());
    EXPECT_EQ(DemoMeasurements(), DemoMeasurements());
    EXPECT_EQ(DemoMemoryImage(), DemoMemoryImage());
    // No USB meter, real or not, takes the download over.
    EXPECT_FALSE(TLibUsbDeviceDataSource().FindDevice());
    EXPECT_TRUE(prompts->shown.empty());
}

TEST(DemoDay, LooksLikeAnOfficeInspectionDay) {
    const TMeasureDataP data = DemoMeasurements();
    const TDateTime day = DateOf(data(kMethodSingle, kKindSvtMagnetic).Records.front().time);
    EXPECT_EQ(DecodeDate(day).year, 2026);
    EXPECT_GE(static_cast<long long>(day) % 7, 2) << "a weekday (day 0 was a Saturday)";

    std::size_t singles = 0;
    std::vector<const TMeasureRecord*> byNumber(256, nullptr);
    int atOrAbove = 0, below = 0;
    std::set<TMeasureSubfield> exceeded;
    for (int kind = 0; kind < kKindCount; ++kind) {
        const auto& records = data(kMethodSingle, kind).Records;
        EXPECT_FALSE(records.empty()) << "kind " << kind;
        std::set<int> bands;
        for (const auto& r : records) {
            ++singles;
            bands.insert(r.band);
            byNumber.at(r.number) = &r;
            const double hours = (r.time - day) * 24;
            EXPECT_TRUE(hours >= 9 && hours <= 18) << "number " << r.number;
            if (kind == kKind50Hz) {
                EXPECT_TRUE(r.mvalue > 0 && r.evalue > 0) << "a 50 Hz pair, number " << r.number;
            }
            for (const bool electric : {false, true}) {
                const double v = electric ? r.evalue : r.mvalue;
                const auto level = LevelOf(r, electric);
                if (v < 0 || !level) continue;
                if (v >= *level) {
                    ++atOrAbove;
                    exceeded.insert(kind == kKindSvtMagnetic   ? (r.band ? msfMFHB : msfMFLB)
                                    : kind == kKindSvtElectric ? (r.band ? msfEFHB : msfEFLB)
                                                               : (electric ? msfEF50hz : msfMF50hz));
                } else {
                    ++below;
                }
            }
        }
        if (kind != kKind50Hz) {
            EXPECT_EQ(bands, (std::set<int>{kBandLow, kBandHigh})) << "kind " << kind;
        }
    }
    EXPECT_GE(singles, 55u);
    EXPECT_LE(singles, 65u);
    EXPECT_EQ(exceeded, (std::set<TMeasureSubfield>{msfMFLB, msfMFHB, msfEFLB, msfEFHB}));
    EXPECT_GT(below, 5 * atOrAbove);

    // Taken one after another, in the order the meter numbered them.
    TDateTime previous = 0;
    for (const TMeasureRecord* r : byNumber) {
        if (r == nullptr) continue;
        EXPECT_GT(r->time, previous) << "number " << r->number;
        previous = r->time;
    }

    // One monitoring run, about two hours at 5 s, over its level twice and back twice.
    for (int kind = 0; kind < kKindCount; ++kind) {
        if (kind != kKindSvtMagnetic) {
            EXPECT_TRUE(data(kMethodMonitoring, kind).Records.empty()) << "kind " << kind;
        }
    }
    const auto& run = data(kMethodMonitoring, kKindSvtMagnetic).Records;
    ASSERT_GT(run.size(), 2u);
    EXPECT_NEAR((run.back().time - run.front().time) * 24, 2.0, 0.05);
    const double level = kLevelDefaults[msfMFLB];
    int up = 0, down = 0;
    for (std::size_t i = 1; i < run.size(); ++i) {
        EXPECT_NEAR(run[i].time - run[i - 1].time, 5 * kSecond, 1e-3 * kSecond) << i;
        up += run[i - 1].mvalue < level && run[i].mvalue >= level;
        down += run[i - 1].mvalue >= level && run[i].mvalue < level;
    }
    EXPECT_EQ(up, 2);
    EXPECT_EQ(down, 2);
    EXPECT_LT(run.front().mvalue, level);
    EXPECT_EQ(run.front().band, kBandLow);
}

TEST_F(Demo, PassportReadsThroughTheDriverLink) {
    const TDemoMeter demo(TDemoLink::Driver);
    TZorvexDriver driver;
    ASSERT_TRUE(driver.OpenDevice(0));
    EXPECT_EQ(driver.GetFirmwareVersion(), 2 << 16 | 3);
    EXPECT_NE(DemoPassport().serialNumber, 0);
    EXPECT_EQ(driver.GetSerialNumber(), std::to_string(DemoPassport().serialNumber));
    EXPECT_GT(driver.GetPowerOnCount(), 0);
    EXPECT_EQ(driver.GetRunningTime(), RunningTimeSeconds(DemoPassport().runningCounter));
    EXPECT_GT(driver.GetRunningTime(), 0);
    const TDateTime calibration = driver.GetCalibrationDate();
    EXPECT_GT(calibration, EncodeDate(2024, 1, 1));
    EXPECT_LT(calibration, DemoMeasurements()(kMethodSingle, kKind50Hz).Records.front().time);
}

TEST_F(Demo, ClearLastsAsLongAsTheMeter) {
    const TMeasureDataP day = DemoMeasurements();
    {
        const TDemoMeter demo(TDemoLink::Driver);
        ClearMeterMemory();
        const TMeasureDataP cleared = DriverDownload();
        EXPECT_EQ(cleared.TotalRecords(), cleared(kMethodMonitoring, kKindSvtMagnetic).Records.size())
            << "the single measurements are gone";
        // Clearing empties the single measurements only: the monitoring run stays, as on the meter.
        EXPECT_EQ(cleared(kMethodMonitoring, kKindSvtMagnetic), day(kMethodMonitoring, kKindSvtMagnetic));
        EXPECT_EQ(DriverDownload().TotalRecords(), cleared.TotalRecords());
    }
    const TDemoMeter fresh(TDemoLink::Driver);
    EXPECT_EQ(DriverDownload(), day);
}

TEST_F(Demo, UsbLinkDownloadGivesTheSameDay) {
    const TDemoMeter demo(TDemoLink::Usb);
    EXPECT_EQ(demo.Link(), TDemoLink::Usb);
    TLibUsbDeviceDataSource source;
    ASSERT_TRUE(source.FindDevice());
    TMeasureDataP data;
    source.GetData("", data);
    EXPECT_TRUE(prompts->shown.empty());

    const TMeasureDataP day = DemoMeasurements();
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind) {
            const auto& got = data(method, kind).Records;
            const auto& want = day(method, kind).Records;
            ASSERT_EQ(got.size(), want.size()) << method << "/" << kind;
            for (std::size_t i = 0; i < got.size(); ++i) {
                const std::string where =
                    std::to_string(method) + "/" + std::to_string(kind) + " #" + std::to_string(i);
                EXPECT_EQ(got[i].kind, want[i].kind) << where;
                EXPECT_EQ(got[i].band, want[i].band) << where;
                EXPECT_EQ(got[i].rejection, want[i].rejection) << where;
                // The driver link adds the interval up; the USB meter gives every time whole.
                EXPECT_NEAR(got[i].time, want[i].time, 1e-3 * kSecond) << where;
                if (kValueCountOfKind[kind] == 2 || kind == kKindSvtMagnetic || kind == kKindMagnetic) {
                    // A magnetic figure travels as single precision and is scaled to nT on arrival.
                    EXPECT_NEAR(got[i].mvalue, want[i].mvalue, want[i].mvalue * 1e-6) << where;
                }
                if (kValueCountOfKind[kind] == 2 || kind == kKindSvtElectric || kind == kKindElectric) {
                    EXPECT_EQ(got[i].evalue, want[i].evalue) << where;
                }
            }
        }

    // Nothing answers behind the driver.
    EXPECT_EQ(ErrorOf([] { DriverDownload(); }), kDeviceNotFoundText);
    EXPECT_EQ(ErrorOf([] { ClearMeterMemory(); }), kDeviceNotFoundText);
}

TEST_F(Demo, PreviousBackendAndBusComeBack) {
    const std::shared_ptr<IDriverBackend> backend = std::make_shared<TSimulatedMeter>(std::vector<std::uint8_t>{});
    const auto bus = std::make_shared<SimulatedUsbBus>();
    const DriverBackendScope backendScope(backend);
    const UsbBusScope busScope(bus);
    for (const TDemoLink link : {TDemoLink::Driver, TDemoLink::Usb}) {
        {
            const TDemoMeter demo(link);
            EXPECT_NE(SharedDriverBackend(), backend);
            EXPECT_NE(&UsbBus(), bus.get());
        }
        EXPECT_EQ(SharedDriverBackend(), backend);
        EXPECT_EQ(&UsbBus(), bus.get());
    }
}
