// Arbitrary reply frames from meters on the simulated bus, read by the USB
// bulk link: whatever the meters say, a download ends in records that fit the
// matrix or in one of the program's own errors, with every meter let go.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "base/Exceptions.h"
#include "device/LibUsbDeviceDataSource.h"
#include "device/SimulatedUsbBus.h"

using namespace zorvex;

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

// Input: byte 0 = meter count (1..3) and fault switches, byte 1 = report at
// which to abort (0: never), then 64-byte frames dealt out to the meters in turn;
// each meter answers its requests with its frames in order, then times out.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) return 0;
    const int meters = bytes[0] % 3 + 1;
    const bool shortRead = (bytes[0] & 0x04) != 0;
    const bool openFails = (bytes[0] & 0x08) != 0;
    const std::size_t abortAt = bytes[1];

    auto bus = std::make_shared<SimulatedUsbBus>();
    const UsbBusScope scope(bus);
    std::vector<SimulatedUsbMeter*> all;
    for (int m = 0; m < meters; ++m) {
        SimulatedUsbMeter& meter = bus->AddMeter(static_cast<std::size_t>(m));
        meter.playback.emplace();
        all.push_back(&meter);
    }
    if (shortRead) all.back()->faults.push_back({true, static_cast<std::size_t>(bytes[0] >> 4), UsbFault::Short});
    if (openFails) all.back()->openFails = true;

    std::size_t frame = 0;
    for (std::size_t at = 2; at < size; at += kUsbFrameSize, ++frame) {
        UsbFrame reply{};
        std::memcpy(reply.data(), bytes + at, std::min(kUsbFrameSize, size - at));
        all[frame % all.size()]->playback->push_back(reply);
    }

    TLibUsbDeviceDataSource source;
    std::size_t reports = 0;
    std::int32_t lastSingles = 0, lastMonitors = 0;
    source.OnProgress = [&](TMDProgress& p) {
        Check(p.Percent == 0 && p.Singles >= lastSingles && p.Monitors >= lastMonitors);
        lastSingles = p.Singles;
        lastMonitors = p.Monitors;
        return ++reports != abortAt;
    };

    TMeasureDataP data;
    bool completed = false;
    try {
        source.GetData("", data);
        completed = true;
    } catch (const Exception&) {
        // "Ошибка обмена" and the date conversion error are the expected ends of a garbled download.
    }

    for (const SimulatedUsbMeter* meter : all) Check(!meter->open && !meter->claimed);
    if (completed) {
        for (int m = 0; m < kMethodCount; ++m)
            for (int k = 0; k < kKindCount; ++k) {
                Check(data(m, k).method == m);
                for (const auto& r : data(m, k).Records) {
                    Check(r.kind == k && r.band <= 2 && r.rejection <= 1);
                    Check(std::isfinite(r.mvalue) && std::isfinite(r.evalue));
                    Check(m == kMethodSingle || r.band == 0);
                }
            }
    }

    // Every frame on its own decodes or is refused as a date.
    for (std::size_t at = 2; at + kUsbFrameSize <= size; at += kUsbFrameSize) {
        UsbFrame reply{};
        std::memcpy(reply.data(), bytes + at, kUsbFrameSize);
        try {
            const TUsbRecord r = DecodeUsbRecord(reply);
            Check(r.kind < kKindCount && std::isfinite(r.value));
        } catch (const EConvertError&) {
        }
    }
    return 0;
}
