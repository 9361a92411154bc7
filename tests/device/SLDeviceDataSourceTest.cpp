#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
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
using zorvex::test::ScriptedPrompts;

namespace {

TDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return EncodeDateTime(year, month, day, hour, minute, second, 0);
}

const TDateTime kNoon = At(2009, 12, 31, 12, 0, 0);

std::vector<int> Range(int first, int last) {
    std::vector<int> r;
    for (int s = first; s <= last; ++s) r.push_back(s);
    return r;
}

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> r;
    for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
    return r;
}

// The requests of a whole download: those the records need, in their order,
// then every sector not requested yet, ascending, so the whole memory is kept.
std::vector<int> ThenTheRest(std::vector<int> needed) {
    for (int s = 0; s < kSectorCount; ++s)
        if (std::find(needed.begin(), needed.end(), s) == needed.end()) needed.push_back(s);
    return needed;
}

// Downloads a built memory from a simulated meter and keeps what was reported and shown.
class SLDownload : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    std::shared_ptr<TSimulatedMeter> meter;
    std::optional<DriverBackendScope> backend;
    std::vector<TMDProgress> reports;
    std::optional<std::size_t> abortAtReport;

    void Attach(const std::vector<std::uint8_t>& image) {
        backend.reset();
        meter = std::make_shared<TSimulatedMeter>(image);
        backend.emplace(meter);
    }

    // The source stays alive afterwards, so a link left open would show.
    std::unique_ptr<TSLDeviceDataSource> source;

    TMeasureDataP Download(const std::string& imageFile = {}) {
        source = std::make_unique<TSLDeviceDataSource>();
        source->ImageFile = imageFile;
        source->Tag = 42;
        source->OnProgress = [this](TMDProgress& p) {
            reports.push_back(p);
            return !(abortAtReport && reports.size() - 1 == *abortAtReport);
        };
        TMeasureDataP data;
        source->GetData("", data);
        return data;
    }

    TMeasureDataP Download(const TImageBuilder& builder) {
        Attach(builder.Image());
        return Download();
    }

    void ExpectReleased() const {
        ASSERT_TRUE(meter);
        EXPECT_FALSE(meter->IsOpen());
        EXPECT_EQ(meter->opens, meter->closes);
    }
};

// ---- value code ----------------------------------------------------------

TEST(ValueCode, DecodesExamplesAndExtremes) {
    struct Case {
        std::uint8_t b0, b1, b2;
        double value;
    };
    const Case cases[] = {
        {0x44, 0x7A, 0x00, 1000.0},
        {0x43, 0x48, 0x00, 200.0},
        {0x41, 0x20, 0x00, 10.0},
        {0x3F, 0x80, 0x00, 1.0},
        {0xBF, 0x80, 0x00, -1.0},
        {0x00, 0x00, 0x00, std::ldexp(1.0, -127)},                          // exponent 0 is no zero
        {0x80, 0x7F, 0xFF, -std::ldexp(1.0 + 0x7FFF00 / 8388608.0, -127)},  // largest fraction, exponent 0
        {0x7F, 0x80, 0x00, std::ldexp(1.0, 128)},                           // exponent 255 is no infinity
        {0xFF, 0xFF, 0xFE, -std::ldexp(1.0 + 0x7FFE00 / 8388608.0, 128)},
        {0xFF, 0xFF, 0xFF, -1000000.0},  // the end code
        {0xC9, 0x74, 0x24, -1000000.0},  // the same number by its own code
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.b0) << ' ' << int(c.b1) << ' ' << int(c.b2));
        const double v = DecodeValueCode(c.b0, c.b1, c.b2);
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_EQ(v, c.value);
    }
}

TEST(ValueCode, EveryOrdinaryExponentMatchesSinglePrecision) {
    for (int e = 1; e <= 254; ++e) {
        for (const std::uint32_t fraction : {0u, 0x000100u, 0x2AAA00u, 0x7FFF00u}) {
            for (const std::uint32_t sign : {0u, 1u}) {
                const std::uint32_t bits = sign << 31 | static_cast<std::uint32_t>(e) << 23 | fraction;
                const double expected = std::bit_cast<float>(bits);
                EXPECT_EQ(DecodeValueCode(bits >> 24, bits >> 16 & 0xFF, bits >> 8 & 0xFF), expected)
                    << "exponent " << e << " fraction " << fraction;
            }
        }
    }
}

// ---- single records ------------------------------------------------------

TEST_F(SLDownload, SingleRecordFlagsGiveKindBandAndRejection) {
    struct Case {
        std::uint8_t flags;
        int kind, band, rejection;
        double mvalue, evalue;
    };
    const Case cases[] = {
        {0x00, 1, 0, 0, 200, -1},  // workplace magnetic
        {0x03, 2, 1, 0, -1, 200},  // workplace electric, band bit
        {0x04, 1, 0, 1, 200, -1},  // workplace, rejection bit
        {0xC8, 1, 0, 0, 200, -1},  // unused bits 3, 6, 7 change nothing
        {0x10, 3, 0, 0, 200, 0},   // general magnetic: the other value stays 0
        {0x32, 3, 1, 0, 200, 0},   // class 3 is general too
        {0x15, 4, 2, 1, 0, 200},   // general with rejection: band 10-30 kHz
        {0x17, 4, 2, 1, 0, 200},   // ... whatever the band bit
        {0x20, 0, 0, 0, 200, -1},  // power-frequency magnetic
        {0x27, 0, 0, 1, -1, 200},  // power-frequency electric: no band, rejection kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << std::hex << int(c.flags));
        const auto data = Download(TImageBuilder().AddSingle(200, kNoon, c.flags));
        ASSERT_EQ(data.TotalRecords(), 1u);
        ASSERT_EQ(data(kMethodSingle, c.kind).Records.size(), 1u);
        TMeasureRecord expected;
        expected.kind = static_cast<std::uint8_t>(c.kind);
        expected.number = 1;
        expected.time = kNoon;
        expected.mvalue = c.mvalue;
        expected.evalue = c.evalue;
        expected.band = static_cast<std::uint8_t>(c.band);
        expected.rejection = static_cast<std::uint8_t>(c.rejection);
        EXPECT_EQ(data(kMethodSingle, c.kind).Records[0], expected);
        for (int m = 0; m < kMethodCount; ++m)
            for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(data(m, k).method, m);
        ExpectReleased();
    }
}

TEST_F(SLDownload, MergesAMagneticAndAnElectric50HzReadingTakenTogether) {
    const auto magnetic = SingleFlags(TFieldClass::PowerFrequency, false, false, false);
    const auto electric = SingleFlags(TFieldClass::PowerFrequency, true, false, false);
    const auto workplaceMagnetic = SingleFlags(TFieldClass::Workplace, false, false, false);
    const TDateTime later = kNoon + 1.0 / 86400;
    struct Device {
        double value;
        TDateTime time;
        std::uint8_t flags;
    };
    struct Expected {
        int kind, number;
        double mvalue, evalue;
    };
    struct Case {
        const char* name;
        std::vector<Device> records;
        std::vector<Expected> result;  // in device order
    };
    const Case cases[] = {
        {"magnetic then electric at one time",
         {{10, kNoon, magnetic}, {20, kNoon, electric}, {30, later, magnetic}},
         {{0, 2, 10, 20}, {0, 3, 30, -1}}},
        {"electric then magnetic", {{20, kNoon, electric}, {10, kNoon, magnetic}}, {{0, 1, -1, 20}, {0, 2, 10, -1}}},
        {"different times", {{10, kNoon, magnetic}, {20, later, electric}}, {{0, 1, 10, -1}, {0, 2, -1, 20}}},
        {"two electric", {{10, kNoon, electric}, {20, kNoon, electric}}, {{0, 1, -1, 10}, {0, 2, -1, 20}}},
        // Only the record made just before may take the electric value, never an older one.
        {"another kind between",
         {{10, kNoon, magnetic}, {15, kNoon, workplaceMagnetic}, {20, kNoon, electric}},
         {{0, 1, 10, -1}, {1, 2, 15, -1}, {0, 3, -1, 20}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TImageBuilder builder;
        for (const auto& r : c.records) builder.AddSingle(r.value, r.time, r.flags);
        const auto data = Download(builder);
        std::vector<TMeasureRecord> got;
        for (int k = 0; k < kKindCount; ++k)
            for (const auto& r : data(kMethodSingle, k).Records) got.push_back(r);
        std::sort(got.begin(), got.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
        ASSERT_EQ(got.size(), c.result.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, c.result[i].kind) << i;
            EXPECT_EQ(got[i].number, c.result[i].number) << i;
            EXPECT_EQ(got[i].mvalue, c.result[i].mvalue) << i;
            EXPECT_EQ(got[i].evalue, c.result[i].evalue) << i;
        }
        // Every device record's value was read, merged or not.
        EXPECT_EQ(reports.back().Singles, static_cast<int>(c.records.size()));
    }
}

TEST_F(SLDownload, RecordSpanningSectors10And11DecodesWhole) {
    TImageBuilder builder;
    for (int i = 0; i < 23; ++i) builder.AddSingle(1.0, kNoon, 0x10);
    const TDateTime last = At(2012, 2, 29, 23, 59, 58);
    builder.AddSingle(1000.0, last, SingleFlags(TFieldClass::Workplace, true, true, true));  // record 23: 5629-5639
    const auto data = Download(builder);

    EXPECT_EQ(meter->SectorRequests(), ThenTheRest({0, 10, 10, 11, 10}));
    ASSERT_EQ(data(kMethodSingle, kKindSvtElectric).Records.size(), 1u);
    const auto& r = data(kMethodSingle, kKindSvtElectric).Records[0];
    EXPECT_EQ(r.number, 24);
    EXPECT_EQ(r.evalue, 1000.0);
    EXPECT_EQ(r.time, last);
    EXPECT_EQ(r.band, 1);
    EXPECT_EQ(r.rejection, 1);
}

TEST_F(SLDownload, TimeFieldsThatAreNoDateEndTheDownloadAndReleaseTheMeter) {
    TImageBuilder builder;
    builder.AddSingle(TSingleEntry{{0x3F, 0x80, 0x00}, {0, 0, 12, 31, 13, 9}, 0x20});
    try {
        Download(builder);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "''2009.13.31 12:0:0.0'' is not a valid date and time");
    }
    ExpectReleased();
}

// ---- monitoring series ---------------------------------------------------

TEST_F(SLDownload, MonitoringModeGivesKindBandAndRejection) {
    struct Case {
        std::uint8_t mode, field;
        int kind, band, rejection;
        bool electricValue;
    };
    const Case cases[] = {
        {0x20, 0, 0, 0, 0, false},   // 50 Hz magnetic
        {0x25, 9, 0, 0, 0, true},    // 50 Hz electric: band and rejection not taken
        {0x05, 0, 1, 1, 1, false},   // workplace magnetic
        {0x00, 254, 2, 0, 0, true},  // any field byte below 255 is electric
        {0x14, 0, 3, 2, 0, false},   // general with rejection: band 10-30 kHz, rejection not kept
        {0x31, 0, 3, 1, 0, false},  {0xF1, 1, 4, 1, 0, true},  // any class but 0 and 2 is general
    };
    const std::vector<double> values = {1.0, 2.0, 0.5};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << std::hex << int(c.mode));
        const auto data = Download(TImageBuilder().SetMonitoring(c.mode, c.field, kNoon, 10, values));
        ASSERT_EQ(data.TotalRecords(), 3u);
        const auto& records = data(kMethodMonitoring, c.kind).Records;
        ASSERT_EQ(records.size(), 3u);
        for (std::size_t i = 0; i < records.size(); ++i) {
            TMeasureRecord expected;
            expected.kind = static_cast<std::uint8_t>(c.kind);
            expected.time = records[i].time;
            expected.mvalue = c.electricValue ? -1 : values[i];
            expected.evalue = c.electricValue ? values[i] : -1;
            expected.band = static_cast<std::uint8_t>(c.band);
            expected.rejection = static_cast<std::uint8_t>(c.rejection);
            EXPECT_EQ(records[i], expected) << i;
        }
        EXPECT_NEAR(records[2].time, kNoon + 20.0 / 86400, 1e-9);
    }
}

TEST_F(SLDownload, FullMemoryOf8106ValuesWithAndWithoutPairs) {
    std::vector<double> values;
    for (int j = 0; j < kMaxMonitorValues; ++j) values.push_back(1.0 + j / 8.0);
    for (const bool pairs : {false, true}) {
        SCOPED_TRACE(pairs ? "pairs" : "single values");
        reports.clear();
        const auto data = Download(TImageBuilder().SetMonitoring(
            MonitorMode(TFieldClass::PowerFrequency, false, pairs, false), 0, kNoon, 1, values));
        const auto& records = data(kMethodMonitoring, kKind50Hz).Records;
        ASSERT_EQ(records.size(), pairs ? 4053u : 8106u);
        const auto& last = records.back();
        EXPECT_EQ(last.mvalue, pairs ? values[8104] : values[8105]);
        EXPECT_EQ(last.evalue, pairs ? values[8105] : -1.0);
        EXPECT_EQ(meter->SectorRequests(), ThenTheRest(Concat({{0, 10, 10}, Range(16, 63)})));
        // The last report comes after the first value of the last pair.
        EXPECT_EQ(reports.back().Percent, pairs ? 99 : 100);
        EXPECT_EQ(reports.back().Monitors, static_cast<int>(records.size()));
    }
}

TEST_F(SLDownload, IntervalZeroKeepsTheStartTimeAndOtherIntervalsAddUp) {
    const std::vector<double> values(300, 2.0);
    for (const int interval : {0, 1, 255}) {
        SCOPED_TRACE(interval);
        const auto data =
            Download(TImageBuilder().SetMonitoring(0x10, 0, kNoon, static_cast<std::uint8_t>(interval), values));
        const auto& records = data(kMethodMonitoring, kKindMagnetic).Records;
        ASSERT_EQ(records.size(), 300u);
        EXPECT_EQ(records[0].time, kNoon);
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (interval == 0)
                ASSERT_EQ(records[i].time, kNoon) << i;
            else
                ASSERT_NEAR((records[i].time - kNoon) * 86400.0, static_cast<double>(i * interval), 1e-3) << i;
        }
    }
}

TEST_F(SLDownload, EveryTimeOfAFullSeriesIsAWholeSecondFromTheStart) {
    // Adding the interval step by step drifts by milliseconds over a full
    // memory, which would show some samples one second early.
    const TDateTime start = EncodeDateTime(2020, 3, 14, 9, 17, 29, 0);
    const std::vector<double> values(kMaxMonitorValues, 2.0);
    const auto data = Download(TImageBuilder().SetMonitoring(0x10, 0, start, 60, values));
    const auto& records = data(kMethodMonitoring, kKindMagnetic).Records;
    ASSERT_EQ(records.size(), values.size());
    const int startSecond = 9 * 3600 + 17 * 60 + 29;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const int total = startSecond + static_cast<int>(i) * 60;
        DateParts date;
        TimeParts time;
        DecodeDateTime(records[i].time, date, time);
        ASSERT_EQ(date.day, 14 + total / 86400) << i;
        ASSERT_EQ(time.hour * 3600 + time.minute * 60 + time.second, total % 86400) << i;
        ASSERT_EQ(time.millisecond, 0) << i;
    }
}

TEST_F(SLDownload, ReadsTheSectorsTheRecordsNeedInOrderThenTheRestOfTheMemory) {
    struct Case {
        const char* name;
        int singles;
        int monitorValues;  // -1: no series stored
        std::vector<int> sectors;
    };
    const Case cases[] = {
        {"empty memory", 0, -1, {0, 10, 10}},
        {"one record", 1, -1, {0, 10, 10, 10}},
        {"24 records", 24, -1, {0, 10, 10, 11, 10}},
        {"255 records", 255, -1, Concat({{0, 10}, Range(10, 15), {10}})},
        {"series ended at once", 0, 0, {0, 10, 10, 16}},
        {"end code inside sector 16", 0, 169, {0, 10, 10, 16}},
        {"end code across sectors 16 and 17", 0, 170, {0, 10, 10, 16, 17}},
        {"end code closing sector 18", 0, 511, {0, 10, 10, 16, 17, 18}},
        {"value 170 across 16 and 17", 1, 200, {0, 10, 10, 10, 16, 17}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TImageBuilder builder;
        for (int i = 0; i < c.singles; ++i) builder.AddSingle(3.0, kNoon + i / 86400.0, 0x00);
        std::vector<double> values;
        for (int j = 0; j < c.monitorValues; ++j) values.push_back(1.0 + j);
        if (c.monitorValues >= 0) builder.SetMonitoring(0x00, 0, kNoon, 5, values);
        const auto data = Download(builder);
        EXPECT_EQ(meter->SectorRequests(), ThenTheRest(c.sectors));
        EXPECT_EQ(source->LastDownload().image, builder.Image());
        if (c.monitorValues > 170) {
            ASSERT_GT(data(kMethodMonitoring, kKindSvtMagnetic).Records.size(), 170u);
            EXPECT_EQ(data(kMethodMonitoring, kKindSvtMagnetic).Records[170].mvalue, 171.0);
        }
        ExpectReleased();
    }
}

TEST_F(SLDownload, SeriesWhoseFirstCodeIsTheEndIsEmptyButNoEmptyMemory) {
    const auto data = Download(TImageBuilder().SetMonitoring(0x20, 0, kNoon, 1, {}));
    EXPECT_TRUE(data.IsEmpty());
    EXPECT_TRUE(prompts->shown.empty());
}

TEST_F(SLDownload, EmptyMemoryIsReported) {
    const auto data = Download(TImageBuilder());
    EXPECT_TRUE(data.IsEmpty());
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(data(m, k).method, m);
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].text, "Карта памяти пуста");
    EXPECT_EQ(prompts->shown[0].caption, "Информация");
    EXPECT_EQ(prompts->shown[0].icon, MessageIcon::Information);
    EXPECT_TRUE(reports.empty());
    ExpectReleased();
}

// ---- progress and abort --------------------------------------------------

TEST_F(SLDownload, ProgressGrowsSinglesUpTo9AndMonitoringFrom10To100) {
    TImageBuilder builder;
    for (int i = 0; i < 255; ++i) builder.AddSingle(1.0, kNoon + i / 86400.0, 0x10);
    builder.SetMonitoring(0x10, 0, kNoon, 1, std::vector<double>(kMaxMonitorValues, 4.0));
    const auto data = Download(builder);

    ASSERT_EQ(reports.size(), 255u + 8106u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const auto& p = reports[i];
        ASSERT_EQ(p.Tag, 42);
        if (i < 255) {
            ASSERT_LE(p.Percent, 9) << i;
            ASSERT_EQ(p.Singles, static_cast<int>(i + 1));
            ASSERT_EQ(p.Monitors, 0);
        } else {
            ASSERT_GE(p.Percent, 10) << i;
            ASSERT_EQ(p.Singles, 255);
            ASSERT_EQ(p.Monitors, static_cast<int>(i - 254));
        }
        if (i > 0) {
            ASSERT_GE(p.Percent, reports[i - 1].Percent) << i;
        }
    }
    EXPECT_EQ(reports[254].Percent, 9);
    EXPECT_EQ(reports[255].Percent, 10);
    EXPECT_EQ(reports.back().Percent, 100);
    EXPECT_EQ(data.TotalRecords(), 255u + 8106u);
}

TEST_F(SLDownload, AbortStopsTheDownloadAndReleasesTheMeter) {
    TImageBuilder builder;
    for (int i = 0; i < 3; ++i) builder.AddSingle(1.0, kNoon + i / 86400.0, 0x00);
    builder.SetMonitoring(0x00, 0, kNoon, 1, std::vector<double>(200, 2.0));  // 203 reports in all
    struct Case {
        std::size_t report;
        std::vector<int> sectors;  // what went over the link before the download stopped
    };
    const Case cases[] = {
        {0, {0, 10, 10}},
        {3, {0, 10, 10, 10, 16}},
        {202, {0, 10, 10, 10, 16, 17}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        prompts->shown.clear();
        reports.clear();
        abortAtReport = c.report;
        Download(builder);
        EXPECT_EQ(reports.size(), c.report + 1);
        ASSERT_EQ(prompts->Messages(), std::vector<std::string>{"Прервано пользователем"});
        EXPECT_EQ(prompts->shown[0].caption, "");
        EXPECT_EQ(meter->SectorRequests(), c.sectors);
        ExpectReleased();
    }
}

// ---- failures ------------------------------------------------------------

TEST_F(SLDownload, NoMeterIsReported) {
    auto absent = std::make_shared<TSimulatedMeter>(TImageBuilder().Image());
    absent->present = false;
    for (const bool useImageFile : {false, true}) {
        DriverBackendScope scope(absent);
        TSLDeviceDataSource source;
        if (useImageFile) source.ImageFile = "/nonexistent/zorvex/memory.img";
        TMeasureDataP data;
        try {
            source.GetData("", data);
            FAIL() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Устройство не найдено");
        }
        EXPECT_TRUE(absent->frames.empty());
    }
    // The system's own backend here has no driver to find a meter with.
    TSLDeviceDataSource source;
    TMeasureDataP data;
    try {
        source.GetData("", data);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Устройство не найдено");
    }
}

TEST_F(SLDownload, ExchangeFailuresEndTheDownloadAndReleaseTheMeter) {
    TImageBuilder builder;
    builder.AddSingle(1.0, kNoon, 0x00);
    builder.SetMonitoring(0x00, 0, kNoon, 1, std::vector<double>(200, 2.0));
    struct Case {
        const char* name;
        std::optional<int> failWrite, failRead;
        std::string message;
    };
    // Requests in order: 0, 10, 10, 10, 16, 17, then 1-9, 11-15 and 18-63.
    const Case cases[] = {
        {"request of sector 0", 0, {}, "Ошибка обмена"},
        {"record sector", 2, {}, "Ошибка обмена"},
        {"sector 10 before the series", 3, {}, "Ошибка обмена"},
        // A monitoring sector that did not arrive would read as a run of false values.
        {"monitoring sector", 5, {}, "Ошибка обмена"},
        // The memory is kept whole or the download fails.
        {"sector the records do not need", 6, {}, "Ошибка обмена"},
        {"reply of sector 10", {}, 1, "Системная ошибка. Код: 31.\nПрисоединённое к системе устройство не работает."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        Attach(builder.Image());
        meter->failWriteAt = c.failWrite;
        meter->failReadAt = c.failRead;
        try {
            Download();
            FAIL() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        if (c.failWrite) {
            // The system's message for a failed request is shown as it happens.
            ASSERT_EQ(prompts->shown.size(), 1u);
            EXPECT_EQ(prompts->shown[0].icon, MessageIcon::Error);
        }
        ExpectReleased();
    }
}

// ---- memory-image file ---------------------------------------------------

TEST_F(SLDownload, ImageFileDecodesLikeTheMeter) {
    zorvex::test::TempDir dir;
    TImageBuilder builder;
    builder.AddSingle(10.0, kNoon, 0x20).AddSingle(20.0, kNoon, 0x21).AddSingle(5.5, kNoon, 0x13);
    builder.SetMonitoring(0x22, 0, kNoon, 60, {1, 2, 3, 4, 5, 6});
    builder.WriteFile(dir.File("memory.img"));
    const auto fromMeter = Download(builder);
    const auto fromFile = Download(dir.File("memory.img"));
    EXPECT_EQ(fromFile, fromMeter);
    EXPECT_EQ(fromFile.TotalRecords(), 5u);
}

TEST_F(SLDownload, ShortImageFileDecodesOnlyTheBytesItHoldsAndSaysWhatItLacks) {
    zorvex::test::TempDir dir;
    TImageBuilder builder;
    for (int i = 0; i < 3; ++i) builder.AddSingle(7.0, kNoon + i / 86400.0, 0x00);
    builder.SetMonitoring(0x10, 0, kNoon, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const auto lacking = [](int size) {
        return "Файл образа памяти короче памяти прибора на " + std::to_string(kMemoryImageSize - size) + " байт (" +
               std::to_string(size) + " из 32768)";
    };
    const auto cut = [&](int size) { return lacking(size) + ": записи за его концом не прочитаны"; };
    struct Case {
        int size;
        std::size_t singles, monitors;
        std::vector<std::string> messages;
    };
    const int endCode = kMonitorValuesOffset + 3 * 10;
    const Case cases[] = {
        {kMemoryImageSize, 3, 10, {}},
        {endCode + 3, 3, 10, {lacking(endCode + 3)}},                                 // the end code is in it
        {endCode + 2, 3, 10, {cut(endCode + 2)}},                                     // but not whole
        {kMonitorValuesOffset + 3 * 4 + 2, 3, 4, {cut(kMonitorValuesOffset + 14)}},   // value 4 cut short
        {kSingleRecordsOffset + 11 * 2 + 9, 2, 0, {cut(kSingleRecordsOffset + 31)}},  // record 2 without its flags byte
        // The header of the memory cut short: nothing read, but the memory is not known to be empty.
        {kMonitorModeOffset + 5, 0, 0, {cut(kMonitorModeOffset + 5)}},
        {100, 0, 0, {cut(100)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        prompts->shown.clear();
        const std::string file = dir.File("short" + std::to_string(c.size) + ".img");
        builder.WriteFile(file, c.size);
        const auto data = Download(file);
        EXPECT_EQ(data(kMethodSingle, kKindSvtMagnetic).Records.size(), c.singles);
        EXPECT_EQ(data(kMethodMonitoring, kKindMagnetic).Records.size(), c.monitors);
        EXPECT_EQ(data.TotalRecords(), c.singles + c.monitors);
        EXPECT_EQ(prompts->Messages(), c.messages);
        for (const auto& shown : prompts->shown) EXPECT_EQ(shown.icon, MessageIcon::Warning);
    }

    // A short file of an empty memory says both.
    TImageBuilder empty;
    const int headerEnd = kSingleRecordsOffset;
    empty.WriteFile(dir.File("empty.img"), headerEnd);
    prompts->shown.clear();
    EXPECT_EQ(Download(dir.File("empty.img")).TotalRecords(), 0u);
    EXPECT_EQ(prompts->Messages(), (std::vector<std::string>{lacking(headerEnd), "Карта памяти пуста"}));
}

}  // namespace
