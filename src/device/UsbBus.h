#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zorvex {

// One device found by a bus scan, with the identifiers of its device descriptor.
struct UsbDeviceEntry {
    std::string busName;     // the bus's directory name
    std::string deviceName;  // the device's file name on that bus
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// An open device. Destroying it closes the device (usb_close); results follow
// libusb 0.1: 0 or a byte count on success, a negative error code on failure.
class IUsbDeviceHandle {
public:
    virtual ~IUsbDeviceHandle() = default;
    virtual int ClaimInterface(int interfaceNumber) = 0;
    virtual int ReleaseInterface(int interfaceNumber) = 0;
    // Bytes transferred, or a negative error code (a timeout among them).
    virtual int BulkWrite(int endpoint, std::span<const std::uint8_t> bytes, int timeoutMs) = 0;
    virtual int BulkRead(int endpoint, std::span<std::uint8_t> bytes, int timeoutMs) = 0;
};

// The USB bus as the bulk link sees it. The program uses libusb; tests and
// demos install a simulated bus with meters of their own making.
class IUsbBus {
public:
    virtual ~IUsbBus() = default;
    // Rescans (usb_find_busses, usb_find_devices, usb_get_busses) and lists
    // every device of every bus, buses and devices in the library's list order.
    virtual std::vector<UsbDeviceEntry> Scan() = 0;
    // Opens the device at `index` of the list the latest Scan returned;
    // nullptr when the device cannot be opened.
    virtual std::unique_ptr<IUsbDeviceHandle> Open(std::size_t index) = 0;
};

// The program-wide bus; the system's unless a scope has replaced it.
IUsbBus& UsbBus();

// The system's bus: libusb 0.1 where the build has it, otherwise a bus on
// which no device is ever found, so that a source falls through to the driver link.
std::shared_ptr<IUsbBus> MakeSystemUsbBus();

// Installs `bus` for as long as the guard lives and restores the previous one afterwards.
class UsbBusScope {
public:
    explicit UsbBusScope(std::shared_ptr<IUsbBus> bus);
    ~UsbBusScope();
    UsbBusScope(const UsbBusScope&) = delete;
    UsbBusScope& operator=(const UsbBusScope&) = delete;

private:
    std::shared_ptr<IUsbBus> previous_;
};

}  // namespace zorvex
