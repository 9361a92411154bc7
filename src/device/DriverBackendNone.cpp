// Systems without the meter's device driver: the driver link finds no meter.
// The memory-image file and the USB bulk link work here all the same.
#ifndef _WIN32

#include "device/DriverLoader.h"

namespace zorvex {
namespace {

class NoDriverBackend final : public IDriverBackend {
public:
    TDeviceHandle Open(int) override { return kInvalidDeviceHandle; }
    bool Read(TDeviceHandle, std::uint8_t*, int, int& received, TSystemError& error) override {
        received = 0;
        error = {6, "Неверный дескриптор устройства"};
        return false;
    }
    bool Write(TDeviceHandle, const std::uint8_t*, int, int& written, TSystemError& error) override {
        written = 0;
        error = {6, "Неверный дескриптор устройства"};
        return false;
    }
    void Close(TDeviceHandle) override {}
};

}  // namespace

std::shared_ptr<IDriverBackend> MakeSystemDriverBackend() {
    return std::make_shared<NoDriverBackend>();
}

}  // namespace zorvex

#endif
