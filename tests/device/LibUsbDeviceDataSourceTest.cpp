#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "device/LibUsbDeviceDataSource.h"
#include "device/SimulatedUsbBus.h"
#include "support/ScriptedPrompts.h"

using namespace zorvex;

namespace {

// A record reply at 17.05.2024 10:20:<second>.
UsbFrame Reply(std::uint8_t type, std::uint8_t field, float value, int second = 0, std::uint8_t band = 0) {
    UsbRecordReply r;
    r.type = type;
    r.field = field;
    r.band = band;
    r.year = 2024;
    r.month = 5;
    r.day = 17;
    r.hour = 10;
    r.minute = 20;
    r.second = second;
    r.value = value;
    return EncodeUsbRecordReply(r);
}

TDateTime At(int second) {
    return EncodeDateTime(2024, 5, 17, 10, 20, second, 0);
}

// 50 Hz magnetic and electric replies (the electric one completing a pair with H = 1).
UsbFrame Magnetic50(float v, int second = 0) {
    return Reply(0, 0, v, second);
}
UsbFrame Electric50(float v, int second = 0, std::uint8_t field = 1) {
    return Reply(1, field, v, second);
}

// A frame written out byte by byte: `head`, then `fill` up to 64 bytes.
UsbFrame Bytes(std::initializer_list<std::uint8_t> head, std::uint8_t fill = 0x00) {
    UsbFrame frame;
    frame.fill(fill);
    std::copy(head.begin(), head.end(), frame.begin());
    return frame;
}

using Request = std::pair<int, int>;  // command, index

std::vector<Request> Requests(const SimulatedUsbMeter& meter) {
    std::vector<Request> requests;
    for (const auto& frame : meter.received) requests.emplace_back(frame[0], UsbFrameInt32(frame, 1));
    return requests;
}

const std::vector<std::string> kReleasedAndClosed = {"open", "claim 0", "release 0", "close"};

class LibUsbSource : public ::testing::Test {
protected:
    std::shared_ptr<SimulatedUsbBus> bus = std::make_shared<SimulatedUsbBus>();
    UsbBusScope busScope{bus};
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    TLibUsbDeviceDataSource source;
    TMeasureDataP data;
    std::vector<TMDProgress> reports;

    // Records every report; answers false to the `abortAt`-th (from 1).
    void TrackProgress(std::size_t abortAt = 0) {
        source.OnProgress = [this, abortAt](TMDProgress& p) {
            reports.push_back(p);
            return reports.size() != abortAt;
        };
    }

    static void ExpectDeviceLetGo(const SimulatedUsbMeter& meter) {
        EXPECT_EQ(meter.events, kReleasedAndClosed);
        EXPECT_FALSE(meter.claimed);
        EXPECT_FALSE(meter.open);
    }
};

// ---- decoding ----

TEST(UsbRecordDecoding, KindBandRejectionAndValueFromTheReplyBytes) {
    struct Case {
        std::uint8_t type, field, band;
        int kind, bandCode, rejection;
        double value;  // for a raw 10.0
    } const cases[] = {
        {0, 0, 0, 0, 0, 0, 12.56}, {2, 1, 0, 0, 0, 0, 10.0},   {3, 0, 2, 1, 1, 0, 12.56}, {5, 2, 8, 2, 1, 0, 10.0},
        {6, 0, 5, 3, 2, 0, 12.56}, {15, 15, 4, 4, 0, 1, 10.0}, {9, 0, 7, 3, 0, 0, 12.56},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "T=" << int{c.type} << " H=" << int{c.field} << " B=" << int{c.band});
        const TUsbRecord r = DecodeUsbRecord(Reply(c.type, c.field, 10.0f, 42, c.band));
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.field, c.field);
        EXPECT_EQ(r.band, c.bandCode);
        EXPECT_EQ(r.rejection, c.rejection);
        EXPECT_DOUBLE_EQ(r.value, c.value);
        EXPECT_EQ(r.time, At(42));
    }
}

TEST(UsbRecordDecoding, RepliesWrittenOutByteForByte) {
    // Bytes 12-63 are filled with 0xEE: the meter leaves them undefined.
    struct Case {
        UsbFrame reply;
        int kind, field, band, rejection;
        int year, month, day, hour, minute, second;
        double value;
    } const cases[] = {
        // T 0, H 0, B 0; 17.05.2024 10:20:42; 10.0f (00 00 20 41) x 1.256
        {Bytes({0x00, 0x00, 0x18, 0x05, 0x11, 0x0A, 0x14, 0x2A, 0x00, 0x00, 0x20, 0x41}, 0xEE), 0, 0, 0, 0, 2024, 5, 17,
         10, 20, 42, 12.56},
        // T 1, H 1, B 4 (rejection); 31.12.2025 23:59:59; 2.5f, electric: unscaled
        {Bytes({0x11, 0x04, 0x19, 0x0C, 0x1F, 0x17, 0x3B, 0x3B, 0x00, 0x00, 0x20, 0x40}, 0xEE), 0, 1, 0, 1, 2025, 12,
         31, 23, 59, 59, 2.5},
        // T 2, H 0, B 8; 01.01.2024 00:00:00; 1.0f
        {Bytes({0x02, 0x08, 0x18, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F}, 0xEE), 0, 0, 1, 0, 2024, 1, 1,
         0, 0, 0, 1.256},
        // T 3, H 0, B 2; 29.02.2024 12:30:05; 100.0f
        {Bytes({0x03, 0x02, 0x18, 0x02, 0x1D, 0x0C, 0x1E, 0x05, 0x00, 0x00, 0xC8, 0x42}, 0xEE), 1, 0, 1, 0, 2024, 2, 29,
         12, 30, 5, 125.6},
        // T 5, H 2, B 5; 09.07.2030 08:07:06; 0.25f
        {Bytes({0x25, 0x05, 0x1E, 0x07, 0x09, 0x08, 0x07, 0x06, 0x00, 0x00, 0x80, 0x3E}, 0xEE), 2, 2, 2, 0, 2030, 7, 9,
         8, 7, 6, 0.25},
        // T 6, H 0, B 5; 15.06.2024 14:00:00; -0.5f (00 00 00 BF)
        {Bytes({0x06, 0x05, 0x18, 0x06, 0x0F, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBF}, 0xEE), 3, 0, 2, 0, 2024, 6, 15,
         14, 0, 0, -0.628},
        // T 9, H 15, B 7; 15.06.2024 14:00:01; 3.0f (00 00 40 40)
        {Bytes({0xF9, 0x07, 0x18, 0x06, 0x0F, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x40, 0x40}, 0xEE), 4, 15, 0, 0, 2024, 6,
         15, 14, 0, 1, 3.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte 0 = " << int{c.reply[0]});
        const TUsbRecord r = DecodeUsbRecord(c.reply);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.field, c.field);
        EXPECT_EQ(r.band, c.band);
        EXPECT_EQ(r.rejection, c.rejection);
        EXPECT_EQ(r.time, EncodeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second, 0));
        EXPECT_NEAR(r.value, c.value, 1e-6);
    }
}

TEST(UsbRecordDecoding, TimeThatIsNoDateRaisesTheConversionError) {
    UsbRecordReply r;
    r.year = 2024, r.month = 2, r.day = 30, r.hour = 10, r.minute = 20;
    try {
        DecodeUsbRecord(EncodeUsbRecordReply(r));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "''2024.2.30 10:20:0.0'' is not a valid date and time");
    }
    r.day = 1;
    r.hour = 24;
    EXPECT_THROW(DecodeUsbRecord(EncodeUsbRecordReply(r)), EConvertError);
}

TEST(UsbRecordDecoding, AFrameWithNoNumberGivesAnAbsentValue) {
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        EXPECT_EQ(DecodeUsbRecord(Magnetic50(bad)).value, kAbsentValue);
}

// ---- pairing of 50 Hz values ----

TEST_F(LibUsbSource, PairsAMagneticReplyWithTheElectricOneOfTheSameMoment) {
    struct Expected {
        int kind, number;
        double mvalue, evalue;
        int second = 0;
    };
    struct Case {
        const char* name;
        std::vector<UsbFrame> singles;
        std::vector<Expected> records;  // in the order they land in [0][0], then [0][2]
        std::vector<Request> requests;
    } const cases[] = {
        {"pair", {Magnetic50(10), Electric50(7)}, {{0, 1, 12.56, 7}}, {{0x1E, 0}, {0x1C, 0}, {0x1C, 1}, {0x1F, 0}}},
        {"H = 2 is no pair",
         {Magnetic50(10), Electric50(7, 0, 2)},
         {{0, 1, 12.56, -1}, {0, 2, -1, 7}},
         {{0x1E, 0}, {0x1C, 0}, {0x1C, 1}, {0x1C, 1}, {0x1F, 0}}},
        {"one second later",
         {Magnetic50(10), Electric50(7, 1)},
         {{0, 1, 12.56, -1}, {0, 2, -1, 7, 1}},
         {{0x1E, 0}, {0x1C, 0}, {0x1C, 1}, {0x1C, 1}, {0x1F, 0}}},
        {"electric alone", {Electric50(7)}, {{0, 1, -1, 7}}, {{0x1E, 0}, {0x1C, 0}, {0x1F, 0}}},
        {"last record magnetic: no look-ahead",
         {Electric50(7), Magnetic50(10)},
         {{0, 1, -1, 7}, {0, 2, 12.56, -1}},
         {{0x1E, 0}, {0x1C, 0}, {0x1C, 1}, {0x1F, 0}}},
        {"electric first, then magnetic at the same moment",
         {Electric50(7), Magnetic50(10), Electric50(3)},
         {{0, 1, -1, 7}, {0, 2, 12.56, 3}},
         {{0x1E, 0}, {0x1C, 0}, {0x1C, 1}, {0x1C, 2}, {0x1F, 0}}},
        {"a band record with H = 1 is no pair",
         {Magnetic50(10), Reply(3, 1, 7)},
         {{0, 1, 12.56, -1}, {2, 2, -1, 7}},
         {{0x1E, 0}, {0x1C, 0}, {0x1C, 1}, {0x1C, 1}, {0x1F, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        const UsbBusScope scope(caseBus);
        SimulatedUsbMeter& meter = caseBus->AddMeter();
        meter.singles = c.singles;
        TMeasureDataP result;
        source.GetData("", result);

        std::vector<TMeasureRecord> got = result(0, 0).Records;
        got.insert(got.end(), result(0, 2).Records.begin(), result(0, 2).Records.end());
        ASSERT_EQ(got.size(), c.records.size());
        EXPECT_EQ(result.TotalRecords(), c.records.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, c.records[i].kind);
            EXPECT_EQ(got[i].number, c.records[i].number);
            EXPECT_NEAR(got[i].mvalue, c.records[i].mvalue, 1e-5);
            EXPECT_NEAR(got[i].evalue, c.records[i].evalue, 1e-5);
            EXPECT_EQ(got[i].mvalue2, -1.0);
            EXPECT_EQ(got[i].evalue2, -1.0);
            EXPECT_EQ(got[i].time, At(c.records[i].second));
        }
        EXPECT_EQ(Requests(meter), c.requests);
        ExpectDeviceLetGo(meter);
    }
    EXPECT_TRUE(prompts->shown.empty());
}

// ---- one meter, both methods ----

TEST_F(LibUsbSource, ReadsSinglesThenMonitoringNumberingOnAndReportingEachRecord) {
    SimulatedUsbMeter& meter = bus->AddMeter();
    meter.singles = {Reply(3, 0, 10, 5, 2), Magnetic50(10, 6), Electric50(4, 6)};
    meter.monitors = {Reply(6, 0, 10, 7, 2), Reply(7, 1, 3, 8, 4), Magnetic50(1, 9), Electric50(2, 9)};
    source.Tag = 17;
    TrackProgress();
    data(0, 0).Records.push_back({});  // a source starts from an empty matrix whatever it is given
    data(1, 4).method = 0;

    source.GetData("auto", data);

    ASSERT_EQ(data(0, 1).Records.size(), 1u);
    EXPECT_EQ(data(0, 1).Records[0].band, 1);  // single records take their band from B
    EXPECT_EQ(data(0, 1).Records[0].time, At(5));
    ASSERT_EQ(data(0, 0).Records.size(), 1u);
    EXPECT_EQ(data(0, 0).Records[0].number, 2);

    ASSERT_EQ(data(1, 3).Records.size(), 1u);
    ASSERT_EQ(data(1, 4).Records.size(), 1u);
    ASSERT_EQ(data(1, 0).Records.size(), 1u);
    const TMeasureRecord& magnetic = data(1, 3).Records[0];
    const TMeasureRecord& electric = data(1, 4).Records[0];
    EXPECT_EQ(magnetic.number, 3);
    EXPECT_EQ(electric.number, 4);
    EXPECT_EQ(data(1, 0).Records[0].number, 5);
    EXPECT_EQ(magnetic.band, 0);  // monitoring ignores B ...
    EXPECT_EQ(electric.band, 0);
    EXPECT_EQ(electric.rejection, 1);  // ... but not the rejection it codes
    EXPECT_NEAR(data(1, 0).Records[0].mvalue, 1.256, 1e-6);
    EXPECT_NEAR(data(1, 0).Records[0].evalue, 2, 1e-6);
    EXPECT_EQ(data.TotalRecords(), 5u);
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k) {
            EXPECT_EQ(data(m, k).method, m);
            for (const auto& r : data(m, k).Records) {
                EXPECT_EQ(r.kind, k);
                EXPECT_EQ(r.id, 0);
                EXPECT_EQ(r.workplace, 0);
                EXPECT_EQ(r.height, 0);
            }
        }

    const std::vector<std::pair<int, int>> counts = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {2, 3}};
    ASSERT_EQ(reports.size(), counts.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].Percent, 0);
        EXPECT_EQ(std::make_pair(reports[i].Singles, reports[i].Monitors), counts[i]);
        EXPECT_EQ(reports[i].Tag, 17);
    }
    ExpectDeviceLetGo(meter);
    EXPECT_TRUE(prompts->shown.empty());
}

// ---- the link on the wire ----

TEST_F(LibUsbSource, ADownloadOnTheWireWrittenOutByteForByte) {
    SimulatedUsbMeter& meter = bus->AddMeter();
    // Answered in turn, whatever was asked; bytes the meter leaves undefined are 0xEE.
    meter.playback = std::vector<UsbFrame>{
        Bytes({0x02, 0x00, 0x00, 0x00}, 0xEE),  // 2 single records
        // 50 Hz magnetic, 17.05.2024 10:20:00, 10.0f
        Bytes({0x00, 0x02, 0x18, 0x05, 0x11, 0x0A, 0x14, 0x00, 0x00, 0x00, 0x20, 0x41}, 0xEE),
        // 50 Hz electric completing the pair, same moment, 2.5f
        Bytes({0x11, 0x02, 0x18, 0x05, 0x11, 0x0A, 0x14, 0x00, 0x00, 0x00, 0x20, 0x40}, 0xEE),
        Bytes({0x01, 0x00, 0x00, 0x00}, 0xEE),  // 1 monitoring record
        // magnetic, B 5 (ignored for monitoring), 10:21:00, 1.0f
        Bytes({0x06, 0x05, 0x18, 0x05, 0x11, 0x0A, 0x15, 0x00, 0x00, 0x00, 0x80, 0x3F}, 0xEE),
    };

    source.GetData("", data);

    EXPECT_EQ(meter.received, (std::vector<UsbFrame>{Bytes({0x1E}), Bytes({0x1C, 0x00, 0x00, 0x00, 0x00}),
                                                     Bytes({0x1C, 0x01, 0x00, 0x00, 0x00}), Bytes({0x1F}),
                                                     Bytes({0x1D, 0x00, 0x00, 0x00, 0x00})}));
    const UsbTransfer out{true, 0x01, 64, 1000};
    const UsbTransfer in{false, 0x81, 64, 1000};
    EXPECT_EQ(meter.transfers, (std::vector<UsbTransfer>{out, in, out, in, out, in, out, in, out, in}));

    ASSERT_EQ(data(0, 0).Records.size(), 1u);
    const TMeasureRecord& pair = data(0, 0).Records[0];
    EXPECT_EQ(pair.number, 1);
    EXPECT_EQ(pair.band, 1);
    EXPECT_EQ(pair.time, EncodeDateTime(2024, 5, 17, 10, 20, 0, 0));
    EXPECT_NEAR(pair.mvalue, 12.56, 1e-6);
    EXPECT_NEAR(pair.evalue, 2.5, 1e-6);
    ASSERT_EQ(data(1, 3).Records.size(), 1u);
    const TMeasureRecord& monitoring = data(1, 3).Records[0];
    EXPECT_EQ(monitoring.number, 2);
    EXPECT_EQ(monitoring.band, 0);
    EXPECT_EQ(monitoring.time, EncodeDateTime(2024, 5, 17, 10, 21, 0, 0));
    EXPECT_NEAR(monitoring.mvalue, 1.256, 1e-6);
    EXPECT_EQ(data.TotalRecords(), 2u);
    ExpectDeviceLetGo(meter);
}

TEST(SimulatedUsbMeterLink, RefusesTransfersOutsideTheMeterLink) {
    struct Case {
        const char* name;
        bool write;
        int endpoint;
        std::size_t size;
        int timeoutMs;
        bool accepted;
    } const cases[] = {
        {"request as the meter expects it", true, 0x01, 64, 1000, true},
        {"request to the IN endpoint", true, 0x81, 64, 1000, false},
        {"request to endpoint 2", true, 0x02, 64, 1000, false},
        {"request of 63 bytes", true, 0x01, 63, 1000, false},
        {"request with no timeout", true, 0x01, 64, 0, false},
        {"request with 500 ms", true, 0x01, 64, 500, false},
        {"reply from the OUT endpoint", false, 0x01, 64, 1000, false},
        {"reply into 65 bytes", false, 0x81, 65, 1000, false},
        {"reply with 5000 ms", false, 0x81, 64, 5000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedUsbBus bus;
        SimulatedUsbMeter& meter = bus.AddMeter();
        meter.singles = {Magnetic50(1)};
        ASSERT_EQ(bus.Scan().size(), 1u);
        const auto handle = bus.Open(0);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(handle->ClaimInterface(0), 0);
        std::vector<std::uint8_t> buffer(c.size, 0);
        int result = 0;
        if (c.write) {
            buffer[0] = 0x1E;
            result = handle->BulkWrite(c.endpoint, buffer, c.timeoutMs);
        } else {
            const UsbFrame request = Bytes({0x1E});
            ASSERT_EQ(handle->BulkWrite(0x01, request, 1000), 64);
            result = handle->BulkRead(c.endpoint, buffer, c.timeoutMs);
        }
        EXPECT_EQ(result, c.accepted ? 64 : -EIO);
        EXPECT_EQ(meter.transfers.back(), (UsbTransfer{c.write, c.endpoint, c.size, c.timeoutMs}));
        if (c.write) {
            EXPECT_EQ(meter.received.size(), c.accepted ? 1u : 0u);
        }
    }
}

// ---- record counts the meter cannot hold ----

TEST_F(LibUsbSource, ACountBeyondTheMeterMemoryIsAnExchangeErrorBeforeAnyOfItsRecordsIsAsked) {
    struct Case {
        const char* name;
        std::int32_t singles, monitors;  // the counts the meter replies
        bool accepted;
    } const cases[] = {
        {"255 single records", 255, 0, true},
        {"256 single records", 256, 0, false},
        {"2,000,000,000 single records", 2'000'000'000, 0, false},
        {"-1 single records", -1, 0, false},
        {"8106 monitoring records", 1, 8106, true},
        {"8107 monitoring records", 1, 8107, false},
        {"-1 monitoring records", 1, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        const UsbBusScope scope(caseBus);
        SimulatedUsbMeter& meter = caseBus->AddMeter();
        meter.singleCount = c.singles;
        meter.monitorCount = c.monitors;
        if (c.accepted) {
            meter.singles.assign(static_cast<std::size_t>(c.singles), Reply(6, 0, 1));
            meter.monitors.assign(static_cast<std::size_t>(c.monitors), Reply(6, 0, 2));
        } else if (c.singles == 1) {
            meter.singles = {Reply(6, 0, 1)};
        }
        SimulatedUsbMeter& next = caseBus->AddMeter();
        next.singles = {Reply(6, 0, 3)};

        TMeasureDataP result;
        if (c.accepted) {
            ASSERT_NO_THROW(source.GetData("", result));
            EXPECT_EQ(result(0, 3).Records.size(), static_cast<std::size_t>(c.singles) + 1);  // with the next meter's
            EXPECT_EQ(result(1, 3).Records.size(), static_cast<std::size_t>(c.monitors));
            if (c.monitors > 0) {
                // The last index, 8105, goes out little-endian in bytes 1-4.
                EXPECT_EQ(meter.received.back(), Bytes({0x1D, 0xA9, 0x1F, 0x00, 0x00}));
            }
            ExpectDeviceLetGo(next);
        } else {
            try {
                source.GetData("", result);
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), "Ошибка обмена");
            }
            // Nothing is asked after the count that was refused.
            EXPECT_EQ(Requests(meter), c.monitors == 0 ? (std::vector<Request>{{0x1E, 0}})
                                                       : (std::vector<Request>{{0x1E, 0}, {0x1C, 0}, {0x1F, 0}}));
            EXPECT_TRUE(result.IsEmpty());  // not even the single records read before
            EXPECT_TRUE(next.events.empty());
        }
        ExpectDeviceLetGo(meter);
    }
    EXPECT_TRUE(prompts->shown.empty());
}

// ---- several meters ----

TEST_F(LibUsbSource, ReadsEveryMeterInBusOrderNumberingEachFromOneAndCountingAcrossThem) {
    SimulatedUsbMeter& first = bus->AddMeter(0);
    SimulatedUsbMeter& stranger = bus->AddMeter(0);
    stranger.productId = 0x2104;
    SimulatedUsbMeter& second = bus->AddMeter(1);
    first.singles = {Reply(6, 0, 1), Reply(6, 0, 2)};
    first.monitors = {Reply(6, 0, 3)};
    second.singles = {Reply(6, 0, 4)};
    second.monitors = {Reply(6, 0, 5), Reply(6, 0, 6)};
    TrackProgress();

    source.GetData("", data);

    const auto numbers = [](const TMeasureSeries& s) {
        std::vector<std::pair<int, double>> out;
        for (const auto& r : s.Records) out.emplace_back(r.number, std::round(r.mvalue / 1.256));
        return out;
    };
    EXPECT_EQ(numbers(data(0, 3)), (std::vector<std::pair<int, double>>{{1, 1}, {2, 2}, {1, 4}}));
    EXPECT_EQ(numbers(data(1, 3)), (std::vector<std::pair<int, double>>{{3, 3}, {2, 5}, {3, 6}}));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().Singles, 3);
    EXPECT_EQ(reports.back().Monitors, 3);
    // The second meter's first report carries the first meter's totals.
    EXPECT_EQ(reports[4].Singles, 2);
    EXPECT_EQ(reports[4].Monitors, 1);
    ExpectDeviceLetGo(first);
    ExpectDeviceLetGo(second);
    EXPECT_TRUE(stranger.events.empty());
}

TEST_F(LibUsbSource, EmptyMemoryIsReportedOnlyWhileNoMeterHasGivenAnything) {
    struct Case {
        bool firstHasRecords, secondHasRecords;
        std::size_t boxes;
    } const cases[] = {{false, false, 2}, {false, true, 1}, {true, false, 0}, {true, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstHasRecords << c.secondHasRecords);
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        auto casePrompts = std::make_shared<test::ScriptedPrompts>();
        const UsbBusScope scope(caseBus);
        const PromptsScope promptsScope(casePrompts);
        SimulatedUsbMeter& first = caseBus->AddMeter();
        SimulatedUsbMeter& second = caseBus->AddMeter();
        if (c.firstHasRecords) first.monitors = {Reply(6, 0, 1)};
        if (c.secondHasRecords) second.singles = {Reply(6, 0, 1)};

        TMeasureDataP result;
        source.GetData("", result);

        ASSERT_EQ(casePrompts->shown.size(), c.boxes);
        for (const auto& box : casePrompts->shown) {
            EXPECT_EQ(box.text, "Карта памяти пуста");
            EXPECT_EQ(box.caption, "Информация");
            EXPECT_EQ(box.icon, MessageIcon::Information);
        }
        if (!c.firstHasRecords) {
            EXPECT_EQ(Requests(first), (std::vector<Request>{{0x1E, 0}, {0x1F, 0}}));
        }
        ExpectDeviceLetGo(first);
        ExpectDeviceLetGo(second);
    }
}

TEST_F(LibUsbSource, NoMeterOnTheBusGivesAnEmptyMatrixAndNoBox) {
    SimulatedUsbMeter& other = bus->AddMeter();
    other.vendorId = 0x1234;
    data(1, 2).Records.push_back({});

    EXPECT_FALSE(source.FindDevice());
    source.GetData("", data);

    EXPECT_TRUE(data.IsEmpty());
    for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(data(1, k).method, 1);
    EXPECT_TRUE(prompts->shown.empty());
    EXPECT_TRUE(other.events.empty());
}

TEST_F(LibUsbSource, FindDeviceMatchesBothIdentifiersAndOpensNothing) {
    struct Case {
        std::uint16_t vendorId, productId;
        bool found;
    } const cases[] = {
        {0x03EB, 0x13D4, true}, {0x03EB, 0x13D5, false}, {0x03EC, 0x13D4, false}, {0x13D4, 0x03EB, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.vendorId << ":" << c.productId);
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        const UsbBusScope scope(caseBus);
        caseBus->AddMeter(0).vendorId = 0x1234;
        SimulatedUsbMeter& device = caseBus->AddMeter(2);
        device.vendorId = c.vendorId;
        device.productId = c.productId;
        EXPECT_EQ(source.FindDevice(), c.found);
        EXPECT_TRUE(device.events.empty());
        EXPECT_EQ(caseBus->scans, 1u);
    }

    SimulatedUsbMeter& other = bus->AddMeter();
    other.productId = 0x0001;
    EXPECT_FALSE(source.FindDevice());
    source.ProductId = 0x0001;
    EXPECT_TRUE(source.FindDevice());
}

// ---- abort ----

TEST_F(LibUsbSource, AbortAtAnyReportLetsTheMeterGoAndEndsTheDownload) {
    // One meter with 2 singles and 2 monitoring records reports 5 times.
    for (const std::size_t abortAt : {1u, 3u, 5u}) {
        SCOPED_TRACE(abortAt);
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        auto casePrompts = std::make_shared<test::ScriptedPrompts>();
        const UsbBusScope scope(caseBus);
        const PromptsScope promptsScope(casePrompts);
        SimulatedUsbMeter& meter = caseBus->AddMeter();
        meter.singles = {Reply(6, 0, 1), Reply(6, 0, 2)};
        meter.monitors = {Reply(6, 0, 3), Reply(6, 0, 4)};
        SimulatedUsbMeter& next = caseBus->AddMeter();
        next.singles = {Reply(6, 0, 5)};
        reports.clear();
        TrackProgress(abortAt);

        TMeasureDataP result;
        EXPECT_NO_THROW(source.GetData("", result));

        EXPECT_EQ(reports.size(), abortAt);
        ASSERT_EQ(casePrompts->shown.size(), 1u);
        EXPECT_EQ(casePrompts->shown[0].text, "Прервано пользователем");
        EXPECT_EQ(casePrompts->shown[0].caption, "");
        ExpectDeviceLetGo(meter);
        EXPECT_TRUE(next.events.empty());
    }
}

// ---- failures ----

TEST_F(LibUsbSource, EveryFailedTransferIsAnExchangeErrorAndTheMeterIsLetGo) {
    struct Case {
        const char* name;
        UsbTransferFault fault;
    } const cases[] = {
        {"count request fails", {false, 0, UsbFault::Error}},
        {"count request times out", {false, 0, UsbFault::Timeout}},
        {"count request goes out short", {false, 0, UsbFault::Short}},
        {"count reply fails", {true, 0, UsbFault::Error}},
        {"count reply times out", {true, 0, UsbFault::Timeout}},
        {"count reply comes back short", {true, 0, UsbFault::Short}},
        {"record reply comes back short", {true, 1, UsbFault::Short}},
        {"look-ahead request times out", {false, 2, UsbFault::Timeout}},
        {"look-ahead reply fails", {true, 2, UsbFault::Error}},
        {"monitoring count reply times out", {true, 4, UsbFault::Timeout}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        const UsbBusScope scope(caseBus);
        SimulatedUsbMeter& meter = caseBus->AddMeter();
        meter.singles = {Magnetic50(1), Magnetic50(2), Magnetic50(3)};
        meter.faults = {c.fault};
        SimulatedUsbMeter& next = caseBus->AddMeter();

        TMeasureDataP result;
        try {
            source.GetData("", result);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Ошибка обмена");
        }
        ExpectDeviceLetGo(meter);
        EXPECT_TRUE(next.events.empty());
    }
    EXPECT_TRUE(prompts->shown.empty());
}

TEST_F(LibUsbSource, ARecordTheMeterDoesNotHoldIsAnExchangeError) {
    SimulatedUsbMeter& meter = bus->AddMeter();
    meter.singles = {Reply(6, 0, 1)};
    meter.singleCount = 2;  // the meter claims more than it answers for
    EXPECT_THROW(
        {
            try {
                source.GetData("", data);
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), "Ошибка обмена");
                throw;
            }
        },
        Exception);
    ExpectDeviceLetGo(meter);
}

TEST_F(LibUsbSource, AReplyWithNoValidTimeEndsTheDownloadWithTheMeterLetGo) {
    SimulatedUsbMeter& meter = bus->AddMeter();
    UsbRecordReply bad;
    bad.month = 13;
    meter.singles = {Reply(6, 0, 1), EncodeUsbRecordReply(bad)};
    EXPECT_THROW(source.GetData("", data), EConvertError);
    ExpectDeviceLetGo(meter);
}

TEST_F(LibUsbSource, AMeterThatCannotBeOpenedOrClaimedEndsTheDownloadWithABox) {
    for (const bool claimOnly : {false, true}) {
        SCOPED_TRACE(claimOnly ? "claim fails" : "open fails");
        auto caseBus = std::make_shared<SimulatedUsbBus>();
        auto casePrompts = std::make_shared<test::ScriptedPrompts>();
        const UsbBusScope scope(caseBus);
        const PromptsScope promptsScope(casePrompts);
        SimulatedUsbMeter& good = caseBus->AddMeter();
        good.singles = {Reply(6, 0, 1)};
        SimulatedUsbMeter& locked = caseBus->AddMeter();
        (claimOnly ? locked.claimFails : locked.openFails) = true;
        SimulatedUsbMeter& after = caseBus->AddMeter();
        after.singles = {Reply(6, 0, 2)};

        TMeasureDataP result;
        EXPECT_NO_THROW(source.GetData("", result));

        ASSERT_EQ(casePrompts->shown.size(), 1u);
        EXPECT_EQ(casePrompts->shown[0].text, "Не удалось получить доступ к устройству");
        EXPECT_EQ(casePrompts->shown[0].caption, "Ошибка");
        EXPECT_EQ(casePrompts->shown[0].icon, MessageIcon::Error);
        EXPECT_EQ(result(0, 3).Records.size(), 1u);  // what the first meter gave stays
        ExpectDeviceLetGo(good);
        EXPECT_EQ(locked.events,
                  claimOnly ? (std::vector<std::string>{"open", "claim 0", "close"}) : std::vector<std::string>{});
        EXPECT_FALSE(locked.open);
        EXPECT_TRUE(after.events.empty());
    }
}

}  // namespace
