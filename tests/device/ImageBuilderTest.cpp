#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

using namespace zorvex;

namespace {

TEST(ImageBuilderValueCode, EncodesEveryCodeItDecodes) {
    std::mt19937 rng(1234);
    for (int e = 0; e <= 255; ++e) {
        for (int trial = 0; trial < 40; ++trial) {
            const std::uint32_t fraction = trial == 0 ? 0 : trial == 1 ? 0x7FFF : rng() & 0x7FFF;
            const TValueCode code = {static_cast<std::uint8_t>((trial % 2 ? 0x80 : 0) | e >> 1),
                                     static_cast<std::uint8_t>((e & 1) << 7 | fraction >> 8),
                                     static_cast<std::uint8_t>(fraction & 0xFF)};
            if (code == kEndCode) continue;
            const double value = DecodeValueCode(code[0], code[1], code[2]);
            ASSERT_EQ(EncodeValueCode(value), code) << "exponent " << e << " fraction " << fraction;
        }
    }
    EXPECT_EQ(EncodeValueCode(1000.0), (TValueCode{0x44, 0x7A, 0x00}));
}

TEST(ImageBuilderValueCode, RefusesValuesWithoutACode) {
    for (const double v : {0.0, -0.0, 0.1, 1.0 + std::ldexp(1.0, -16), std::ldexp(1.0, -128), std::ldexp(1.0, 129),
                           std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(EncodeValueCode(v), Exception) << v;
}

// A matrix such as a download gives, drawn at random.
class RandomDownload {
public:
    explicit RandomDownload(unsigned seed) : rng_(seed) {}

    TMeasureDataP Draw() {
        TMeasureDataP data;
        data.SetMethodBytes();
        DrawSingles(data);
        if (Chance(0.8)) DrawMonitoring(data);
        return data;
    }

private:
    std::mt19937 rng_;

    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    // Any decodable value; -1.0 and the end code mean something else where they stand.
    double Value(bool positive) {
        for (;;) {
            const TValueCode code = {static_cast<std::uint8_t>(Int(0, positive ? 0x7F : 0xFF)),
                                     static_cast<std::uint8_t>(Int(0, 255)), static_cast<std::uint8_t>(Int(0, 255))};
            const double v = DecodeValueCode(code[0], code[1], code[2]);
            if (code != kEndCode && v != kAbsentValue) return v;
        }
    }

    TDateTime Time() {
        return EncodeDateTime(Int(2000, 2099), Int(1, 12), Int(1, 28), Int(0, 23), Int(0, 59), Int(0, 59), 0);
    }

    void DrawSingles(TMeasureDataP& data) {
        const int limit = Chance(0.2) ? 255 : Int(0, 40);
        int deviceRecords = 0;
        int number = 0;
        TDateTime previous = 0;
        while (deviceRecords < limit) {
            TMeasureRecord r;
            r.kind = static_cast<std::uint8_t>(Int(0, 4));
            r.time = Time();
            if (r.time == previous) continue;  // two 50 Hz halves at one time would join
            previous = r.time;
            r.rejection = static_cast<std::uint8_t>(Int(0, 1));
            r.mvalue = r.evalue = kAbsentValue;
            switch (r.kind) {
                case kKind50Hz: {
                    const int halves = Int(0, 2);  // magnetic, electric, both
                    if (halves == 2 && deviceRecords + 2 > limit) continue;
                    if (halves != 1) r.mvalue = Value(false);
                    if (halves != 0) r.evalue = Value(false);
                    if (halves == 2) ++number, ++deviceRecords;
                    break;
                }
                case kKindSvtMagnetic:
                case kKindSvtElectric:
                    r.band = static_cast<std::uint8_t>(Int(0, 1));
                    (r.kind == kKindSvtElectric ? r.evalue : r.mvalue) = Value(false);
                    break;
                default:
                    r.band = r.rejection ? kBandMid : static_cast<std::uint8_t>(Int(0, 1));
                    r.mvalue = r.evalue = 0.0;
                    (r.kind == kKindElectric ? r.evalue : r.mvalue) = Value(false);
                    break;
            }
            r.number = ++number;
            ++deviceRecords;
            data(kMethodSingle, r.kind).Records.push_back(r);
        }
    }

    void DrawMonitoring(TMeasureDataP& data) {
        const int kind = Int(0, 4);
        const bool pairs = kind == kKind50Hz && Chance(0.5);
        const bool electric = kind == kKindSvtElectric || kind == kKindElectric || (kind == kKind50Hz && Chance(0.5));
        const int maxRecords = pairs ? kMaxMonitorValues / 2 : kMaxMonitorValues;
        const int count = Chance(0.1) ? maxRecords : Int(1, 600);
        const int interval = Chance(0.1) ? 0 : Int(1, 255);
        const int rejection = Int(0, 1);
        const int bandBit = Int(0, 1);
        const TDateTime start = Time();
        for (int i = 0; i < count; ++i) {
            TMeasureRecord r;
            r.kind = static_cast<std::uint8_t>(kind);
            // The meter samples every `interval` seconds from its start time.
            r.time = start + static_cast<double>(i) * interval / 86400;
            r.mvalue = r.evalue = kAbsentValue;
            if (pairs) {
                r.mvalue = Value(true);
                r.evalue = Value(true);
            } else {
                (electric ? r.evalue : r.mvalue) = Value(true);
            }
            if (kind == kKindSvtMagnetic || kind == kKindSvtElectric) {
                r.band = static_cast<std::uint8_t>(bandBit);
                r.rejection = static_cast<std::uint8_t>(rejection);
            } else if (kind != kKind50Hz) {
                r.band = rejection ? kBandMid : static_cast<std::uint8_t>(bandBit);
            }
            data(kMethodMonitoring, kind).Records.push_back(r);
        }
    }
};

TEST(ImageBuilderRoundTrip, DownloadGivesBackWhatWasBuilt) {
    auto prompts = std::make_shared<zorvex::test::ScriptedPrompts>();
    PromptsScope promptsScope(prompts);
    RandomDownload draw(20261210);
    for (int trial = 0; trial < 150; ++trial) {
        const TMeasureDataP expected = draw.Draw();
        auto meter = std::make_shared<TSimulatedMeter>(BuildImage(expected));
        DriverBackendScope scope(meter);
        TSLDeviceDataSource source;
        TMeasureDataP got;
        source.GetData("", got);
        ASSERT_EQ(got, expected) << "trial " << trial;
        ASSERT_FALSE(meter->IsOpen());
    }
}

TEST(ImageBuilder, RefusesWhatAMeterCannotHold) {
    TImageBuilder builder;
    for (int i = 0; i < 255; ++i) builder.AddSingle(1.0, EncodeDateTime(2020, 1, 1, 0, 0, 0, 0), 0);
    EXPECT_THROW(builder.AddSingle(1.0, EncodeDateTime(2020, 1, 1, 0, 0, 0, 0), 0), Exception);
    EXPECT_THROW(builder.AddSingle(1.0, EncodeDateTime(1999, 12, 31, 0, 0, 0, 0), 0), Exception);
    EXPECT_THROW(builder.SetMonitoring(0, 0, EncodeDateTime(2020, 1, 1, 0, 0, 0, 0), 1,
                                       std::vector<double>(kMaxMonitorValues + 1, 1.0)),
                 Exception);

    TMeasureDataP two;
    two(kMethodMonitoring, 1).Records.resize(1);
    two(kMethodMonitoring, 3).Records.resize(1);
    EXPECT_THROW(BuildImage(two), Exception);
}

TEST(ImageBuilder, WritesTheImageOrItsBeginningToAFile) {
    zorvex::test::TempDir dir;
    TImageBuilder builder;
    builder.SetPassport({7, 8, 9, 10, {1, 2, 3, 4, 5, 6}});
    builder.WriteFile(dir.File("full.img"));
    builder.WriteFile(dir.File("part.img"), 5300);
    const std::string full = zorvex::test::ReadFileBytes(dir.path() / "full.img");
    ASSERT_EQ(full.size(), static_cast<std::size_t>(kMemoryImageSize));
    EXPECT_TRUE(std::equal(full.begin(), full.end(), builder.Image().begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    EXPECT_EQ(zorvex::test::ReadFileBytes(dir.path() / "part.img"), full.substr(0, 5300));
}

}  // namespace
