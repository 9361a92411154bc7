#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/LibUsbDeviceDataSource.h"
#include "device/UsbBus.h"

namespace zorvex {

// The fields of a meter's record reply, for building replies.
struct UsbRecordReply {
    std::uint8_t type = 0;   // T, low nibble of byte 0
    std::uint8_t field = 0;  // H, high nibble of byte 0
    std::uint8_t band = 0;   // B
    int year = 2024, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    float value = 0;
};

UsbFrame EncodeUsbRecordReply(const UsbRecordReply& reply);
// A count reply: the count little-endian in bytes 0-3.
UsbFrame UsbCountReply(std::int32_t count);

enum class UsbFault {
    Error,    // the transfer fails outright
    Timeout,  // nothing moves within the timeout
    Short,    // fewer bytes than asked for
};

// Makes the `ordinal`-th write or read (counting from 0) of a device fail.
struct UsbTransferFault {
    bool onRead = true;
    std::size_t ordinal = 0;
    UsbFault fault = UsbFault::Error;
};

// One bulk transfer as the device saw it.
struct UsbTransfer {
    bool write = true;  // false: a read
    int endpoint = 0;
    std::size_t size = 0;
    int timeoutMs = 0;
    bool operator==(const UsbTransfer&) const = default;
};

// One device on the simulated bus; a meter unless its identifiers say otherwise.
// It answers count requests with the sizes of its record lists (or the counts
// set here) and record requests with the reply at the index asked for; an index
// it does not hold or a command it does not know gets no reply, so the read
// times out. It holds the host to the link's parameters: a transfer on another
// endpoint, with another size or another timeout fails with an I/O error.
struct SimulatedUsbMeter {
    std::uint16_t vendorId = 0x03EB;
    std::uint16_t productId = 0x13D4;
    std::vector<UsbFrame> singles;
    std::vector<UsbFrame> monitors;
    std::optional<std::int32_t> singleCount;
    std::optional<std::int32_t> monitorCount;
    // When set, every request is answered with the next of these frames
    // whatever it asks, and with nothing once they are used up.
    std::optional<std::vector<UsbFrame>> playback;

    bool openFails = false;
    bool claimFails = false;
    std::vector<UsbTransferFault> faults;

    // What the device went through: every transfer attempted, the requests it
    // received whole, and "open", "claim 0", "release 0", "close" in the order
    // they happened.
    std::vector<UsbTransfer> transfers;
    std::vector<UsbFrame> received;
    std::vector<std::string> events;
    bool open = false;
    bool claimed = false;

    // Used by the simulated handle.
    std::size_t writes = 0;
    std::size_t reads = 0;
    std::size_t playbackNext = 0;
    std::optional<UsbFrame> pendingReply;
};

class SimulatedUsbBus final : public IUsbBus {
public:
    // Adds a device at the end of bus `bus` (buses are listed by index, from 0).
    SimulatedUsbMeter& AddMeter(std::size_t bus = 0);

    std::vector<UsbDeviceEntry> Scan() override;
    std::unique_ptr<IUsbDeviceHandle> Open(std::size_t index) override;

    std::size_t scans = 0;

private:
    std::vector<std::vector<std::shared_ptr<SimulatedUsbMeter>>> buses_;
    std::vector<std::shared_ptr<SimulatedUsbMeter>> scanned_;
};

}  // namespace zorvex
