#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device/DriverLoader.h"

namespace zorvex {

// A meter behind the driver link, for tests and demos: serves a memory image
// by 1-byte sector requests, applies 4-byte byte-write requests to it and
// acknowledges them with 0x11, and records every frame it received. It can be
// told to fail a request write, fail a reply read or give a wrong acknowledgement.
class TSimulatedMeter final : public IDriverBackend {
public:
    explicit TSimulatedMeter(std::vector<std::uint8_t> image);

    // The memory as it stands (byte writes change it).
    const std::vector<std::uint8_t>& Image() const { return image_; }

    // Whether the meter is attached; a detached one is never found.
    bool present = true;
    // Index (from 0) of the request write that fails, counting every write attempted.
    std::optional<int> failWriteAt;
    // Index (from 0) of the reply read that fails, counting every read attempted.
    std::optional<int> failReadAt;
    // The reply to a byte write.
    std::uint8_t acknowledgement = 0x11;

    // Every frame received, in order.
    std::vector<std::vector<std::uint8_t>> frames;
    // The sector numbers of the 1-byte requests received, in order.
    std::vector<int> SectorRequests() const;
    int opens = 0;
    int closes = 0;
    bool IsOpen() const { return openHandles_ > 0; }

    TDeviceHandle Open(int index) override;
    bool Read(TDeviceHandle handle, std::uint8_t* destination, int count, int& received, TSystemError& error) override;
    bool Write(TDeviceHandle handle, const std::uint8_t* data, int count, int& written, TSystemError& error) override;
    void Close(TDeviceHandle handle) override;

private:
    std::vector<std::uint8_t> image_;
    std::vector<std::uint8_t> reply_;
    int openHandles_ = 0;
    int writes_ = 0;
    int reads_ = 0;
};

}  // namespace zorvex
