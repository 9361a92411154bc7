// Builds without libusb 0.1 (Windows, when no libusb directory is given): the
// bus lists no device, so the bulk link finds no meter and the source goes on
// to the driver link or the memory-image file. The build compiles either this
// file or UsbBusLibUsb.cpp.
#include "device/UsbBus.h"

namespace zorvex {
namespace {

class NoUsbBus final : public IUsbBus {
public:
    std::vector<UsbDeviceEntry> Scan() override { return {}; }
    std::unique_ptr<IUsbDeviceHandle> Open(std::size_t) override { return nullptr; }
};

}  // namespace

std::shared_ptr<IUsbBus> MakeSystemUsbBus() {
    return std::make_shared<NoUsbBus>();
}

}  // namespace zorvex
