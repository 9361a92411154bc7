#include <usb.h>

#include <memory>
#include <mutex>

#include "device/UsbBus.h"

namespace zorvex {
namespace {

class LibUsbDeviceHandle final : public IUsbDeviceHandle {
public:
    explicit LibUsbDeviceHandle(usb_dev_handle* handle) : handle_(handle) {}
    ~LibUsbDeviceHandle() override { usb_close(handle_); }
    LibUsbDeviceHandle(const LibUsbDeviceHandle&) = delete;
    LibUsbDeviceHandle& operator=(const LibUsbDeviceHandle&) = delete;

    int ClaimInterface(int interfaceNumber) override { return usb_claim_interface(handle_, interfaceNumber); }
    int ReleaseInterface(int interfaceNumber) override { return usb_release_interface(handle_, interfaceNumber); }

    int BulkWrite(int endpoint, std::span<const std::uint8_t> bytes, int timeoutMs) override {
        // libusb 0.1 takes char pointers; the bytes are only read.
        return usb_bulk_write(handle_, endpoint, reinterpret_cast<const char*>(bytes.data()),
                              static_cast<int>(bytes.size()), timeoutMs);
    }

    int BulkRead(int endpoint, std::span<std::uint8_t> bytes, int timeoutMs) override {
        return usb_bulk_read(handle_, endpoint, reinterpret_cast<char*>(bytes.data()), static_cast<int>(bytes.size()),
                             timeoutMs);
    }

private:
    usb_dev_handle* handle_;
};

class LibUsbBus final : public IUsbBus {
public:
    std::vector<UsbDeviceEntry> Scan() override {
        // The library wants its one-time initialisation before the first scan.
        static std::once_flag initialised;
        std::call_once(initialised, [] { usb_init(); });

        usb_find_busses();
        usb_find_devices();
        devices_.clear();
        std::vector<UsbDeviceEntry> entries;
        for (usb_bus* bus = usb_get_busses(); bus != nullptr; bus = bus->next) {
            for (struct usb_device* device = bus->devices; device != nullptr; device = device->next) {
                devices_.push_back(device);
                entries.push_back(
                    {bus->dirname, device->filename, device->descriptor.idVendor, device->descriptor.idProduct});
            }
        }
        return entries;
    }

    std::unique_ptr<IUsbDeviceHandle> Open(std::size_t index) override {
        // The library keeps the device list until the next scan, so these pointers stay valid.
        if (index >= devices_.size()) return nullptr;
        usb_dev_handle* handle = usb_open(devices_[index]);
        if (handle == nullptr) return nullptr;
        return std::make_unique<LibUsbDeviceHandle>(handle);
    }

private:
    std::vector<struct usb_device*> devices_;
};

}  // namespace

std::shared_ptr<IUsbBus> MakeSystemUsbBus() {
    return std::make_shared<LibUsbBus>();
}

}  // namespace zorvex
