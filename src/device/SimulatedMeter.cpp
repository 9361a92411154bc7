#include "device/SimulatedMeter.h"

#include <algorithm>

#include "device/DeviceLink.h"

namespace zorvex {
namespace {

constexpr TDeviceHandle kSimulatedHandle = 0x5A;
constexpr std::uint8_t kWriteByteRequest = 0x41;
// Errors as the system would report them.
const TSystemError kDeviceNotFunctioning{31, "Присоединённое к системе устройство не работает."};
const TSystemError kBadHandle{6, "Неверный дескриптор."};

}  // namespace

TSimulatedMeter::TSimulatedMeter(std::vector<std::uint8_t> image) : image_(std::move(image)) {
    image_.resize(kMemoryImageSize, 0xFF);
}

std::vector<int> TSimulatedMeter::SectorRequests() const {
    std::vector<int> sectors;
    for (const auto& frame : frames)
        if (frame.size() == 1) sectors.push_back(frame[0]);
    return sectors;
}

TDeviceHandle TSimulatedMeter::Open(int index) {
    if (!present || index != 0) return kInvalidDeviceHandle;
    ++opens;
    ++openHandles_;
    return kSimulatedHandle;
}

bool TSimulatedMeter::Write(TDeviceHandle handle, const std::uint8_t* data, int count, int& written,
                            TSystemError& error) {
    written = 0;
    if (handle != kSimulatedHandle || openHandles_ == 0) {
        error = kBadHandle;
        return false;
    }
    const int attempt = writes_++;
    if (failWriteAt && *failWriteAt == attempt) {
        error = kDeviceNotFunctioning;
        return false;
    }
    frames.emplace_back(data, data + count);
    written = count;
    reply_.clear();
    if (count == 1) {
        // Sectors beyond the memory read as erased cells.
        const int sector = data[0];
        const int start = sector * kSectorSize;
        if (start < kMemoryImageSize)
            reply_.assign(image_.begin() + start, image_.begin() + start + kSectorSize);
        else
            reply_.assign(kSectorSize, 0xFF);
    } else if (count == 4 && data[0] == kWriteByteRequest) {
        const int address = data[1] | data[2] << 8;
        if (address < kMemoryImageSize) image_[address] = data[3];
        reply_.assign(1, acknowledgement);
    }
    return true;
}

bool TSimulatedMeter::Read(TDeviceHandle handle, std::uint8_t* destination, int count, int& received,
                           TSystemError& error) {
    received = 0;
    if (handle != kSimulatedHandle || openHandles_ == 0) {
        error = kBadHandle;
        return false;
    }
    const int attempt = reads_++;
    if (failReadAt && *failReadAt == attempt) {
        reply_.clear();
        error = kDeviceNotFunctioning;
        return false;
    }
    // Only what the last request asked for is there to read.
    received = std::min(count, static_cast<int>(reply_.size()));
    std::copy_n(reply_.begin(), received, destination);
    reply_.erase(reply_.begin(), reply_.begin() + received);
    return true;
}

void TSimulatedMeter::Close(TDeviceHandle handle) {
    if (handle == kSimulatedHandle && openHandles_ > 0) {
        --openHandles_;
        ++closes;
    }
}

}  // namespace zorvex
