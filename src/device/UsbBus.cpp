#include "device/UsbBus.h"

namespace zorvex {
namespace {

std::shared_ptr<IUsbBus>& CurrentBus() {
    static std::shared_ptr<IUsbBus> bus = MakeSystemUsbBus();
    return bus;
}

}  // namespace

IUsbBus& UsbBus() {
    return *CurrentBus();
}

UsbBusScope::UsbBusScope(std::shared_ptr<IUsbBus> bus) : previous_(CurrentBus()) {
    if (bus) CurrentBus() = std::move(bus);
}

UsbBusScope::~UsbBusScope() {
    CurrentBus() = std::move(previous_);
}

}  // namespace zorvex
