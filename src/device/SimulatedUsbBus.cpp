#include "device/SimulatedUsbBus.h"

#include <algorithm>
#include <bit>
#include <cerrno>

namespace zorvex {
namespace {

// The meter's side of the link, written out here rather than taken from the
// program's constants, so that a wrong constant there fails against the meter.
constexpr int kOutEndpoint = 0x01;
constexpr int kInEndpoint = 0x81;
constexpr std::size_t kFrameSize = 64;
constexpr int kTimeoutMs = 1000;
constexpr std::uint8_t kSingleCount = 0x1E;
constexpr std::uint8_t kMonitorCount = 0x1F;
constexpr std::uint8_t kSingleRecord = 0x1C;
constexpr std::uint8_t kMonitorRecord = 0x1D;

// The record index of a request, bytes 1-4 little-endian.
std::int32_t RequestIndex(const UsbFrame& request) {
    const std::uint32_t bits =
        request[1] | (request[2] << 8) | (request[3] << 16) | (static_cast<std::uint32_t>(request[4]) << 24);
    return static_cast<std::int32_t>(bits);
}

std::optional<UsbFault> FaultAt(const SimulatedUsbMeter& meter, bool onRead, std::size_t ordinal) {
    for (const auto& f : meter.faults)
        if (f.onRead == onRead && f.ordinal == ordinal) return f.fault;
    return std::nullopt;
}

int FaultResult(UsbFault fault, std::size_t size) {
    switch (fault) {
        case UsbFault::Error:
            return -EIO;
        case UsbFault::Timeout:
            return -ETIMEDOUT;
        case UsbFault::Short:
            break;
    }
    return static_cast<int>(size / 2);
}

std::optional<UsbFrame> Answer(SimulatedUsbMeter& meter, const UsbFrame& request) {
    if (meter.playback) {
        if (meter.playbackNext >= meter.playback->size()) return std::nullopt;
        return (*meter.playback)[meter.playbackNext++];
    }
    const auto listed = [](const std::vector<UsbFrame>& records, std::int32_t index) -> std::optional<UsbFrame> {
        if (index < 0 || static_cast<std::size_t>(index) >= records.size()) return std::nullopt;
        return records[static_cast<std::size_t>(index)];
    };
    const std::int32_t index = RequestIndex(request);
    switch (request[0]) {
        case kSingleCount:
            return UsbCountReply(meter.singleCount.value_or(static_cast<std::int32_t>(meter.singles.size())));
        case kMonitorCount:
            return UsbCountReply(meter.monitorCount.value_or(static_cast<std::int32_t>(meter.monitors.size())));
        case kSingleRecord:
            return listed(meter.singles, index);
        case kMonitorRecord:
            return listed(meter.monitors, index);
        default:
            return std::nullopt;
    }
}

class SimulatedHandle final : public IUsbDeviceHandle {
public:
    explicit SimulatedHandle(std::shared_ptr<SimulatedUsbMeter> meter) : meter_(std::move(meter)) {
        meter_->open = true;
        meter_->events.push_back("open");
    }

    ~SimulatedHandle() override {
        meter_->open = false;
        meter_->events.push_back("close");
    }

    SimulatedHandle(const SimulatedHandle&) = delete;
    SimulatedHandle& operator=(const SimulatedHandle&) = delete;

    int ClaimInterface(int interfaceNumber) override {
        meter_->events.push_back("claim " + std::to_string(interfaceNumber));
        if (meter_->claimFails) return -EBUSY;
        meter_->claimed = true;
        return 0;
    }

    int ReleaseInterface(int interfaceNumber) override {
        meter_->events.push_back("release " + std::to_string(interfaceNumber));
        if (!meter_->claimed) return -ENOENT;
        meter_->claimed = false;
        return 0;
    }

    int BulkWrite(int endpoint, std::span<const std::uint8_t> bytes, int timeoutMs) override {
        SimulatedUsbMeter& meter = *meter_;
        const std::size_t ordinal = meter.writes++;
        meter.transfers.push_back({true, endpoint, bytes.size(), timeoutMs});
        meter.pendingReply.reset();
        if (!meter.claimed || !WithinLink(endpoint, kOutEndpoint, bytes.size(), timeoutMs)) return -EIO;
        const auto fault = FaultAt(meter, false, ordinal);
        if (fault && *fault != UsbFault::Short) return FaultResult(*fault, bytes.size());
        // A short write still carries the command and index, so the meter answers
        // it; only a sender that looks at the result knows the frame was cut.
        const std::size_t size = fault ? static_cast<std::size_t>(FaultResult(*fault, bytes.size())) : bytes.size();
        UsbFrame request{};
        std::copy_n(bytes.begin(), size, request.begin());
        if (!fault) meter.received.push_back(request);
        meter.pendingReply = Answer(meter, request);
        return static_cast<int>(size);
    }

    int BulkRead(int endpoint, std::span<std::uint8_t> bytes, int timeoutMs) override {
        SimulatedUsbMeter& meter = *meter_;
        const std::size_t ordinal = meter.reads++;
        meter.transfers.push_back({false, endpoint, bytes.size(), timeoutMs});
        if (!meter.claimed || !WithinLink(endpoint, kInEndpoint, bytes.size(), timeoutMs)) {
            meter.pendingReply.reset();
            return -EIO;
        }
        const auto fault = FaultAt(meter, true, ordinal);
        if (fault && *fault != UsbFault::Short) {
            meter.pendingReply.reset();
            return FaultResult(*fault, bytes.size());
        }
        if (!meter.pendingReply) return -ETIMEDOUT;
        const UsbFrame reply = *meter.pendingReply;
        meter.pendingReply.reset();
        const std::size_t size =
            std::min(fault ? static_cast<std::size_t>(FaultResult(*fault, bytes.size())) : bytes.size(), reply.size());
        std::copy_n(reply.begin(), size, bytes.begin());
        return static_cast<int>(size);
    }

private:
    static bool WithinLink(int endpoint, int expectedEndpoint, std::size_t size, int timeoutMs) {
        return endpoint == expectedEndpoint && size == kFrameSize && timeoutMs == kTimeoutMs;
    }

    std::shared_ptr<SimulatedUsbMeter> meter_;
};

}  // namespace

UsbFrame EncodeUsbRecordReply(const UsbRecordReply& reply) {
    UsbFrame frame{};
    frame[0] = static_cast<std::uint8_t>((reply.field << 4) | (reply.type & 0x0F));
    frame[1] = reply.band;
    frame[2] = static_cast<std::uint8_t>(reply.year - 2000);
    frame[3] = static_cast<std::uint8_t>(reply.month);
    frame[4] = static_cast<std::uint8_t>(reply.day);
    frame[5] = static_cast<std::uint8_t>(reply.hour);
    frame[6] = static_cast<std::uint8_t>(reply.minute);
    frame[7] = static_cast<std::uint8_t>(reply.second);
    const auto bits = std::bit_cast<std::uint32_t>(reply.value);
    for (int i = 0; i < 4; ++i) frame[8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return frame;
}

UsbFrame UsbCountReply(std::int32_t count) {
    UsbFrame frame{};
    const auto bits = static_cast<std::uint32_t>(count);
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return frame;
}

SimulatedUsbMeter& SimulatedUsbBus::AddMeter(std::size_t bus) {
    if (buses_.size() <= bus) buses_.resize(bus + 1);
    buses_[bus].push_back(std::make_shared<SimulatedUsbMeter>());
    return *buses_[bus].back();
}

std::vector<UsbDeviceEntry> SimulatedUsbBus::Scan() {
    ++scans;
    scanned_.clear();
    std::vector<UsbDeviceEntry> entries;
    for (std::size_t b = 0; b < buses_.size(); ++b)
        for (std::size_t d = 0; d < buses_[b].size(); ++d) {
            scanned_.push_back(buses_[b][d]);
            entries.push_back(
                {std::to_string(b + 1), std::to_string(d + 1), buses_[b][d]->vendorId, buses_[b][d]->productId});
        }
    return entries;
}

std::unique_ptr<IUsbDeviceHandle> SimulatedUsbBus::Open(std::size_t index) {
    if (index >= scanned_.size() || scanned_[index]->openFails) return nullptr;
    return std::make_unique<SimulatedHandle>(scanned_[index]);
}

}  // namespace zorvex
