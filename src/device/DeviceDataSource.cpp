#include "device/DeviceDataSource.h"

#include "base/Clock.h"

namespace zorvex {

void TDeviceDataSource::GetData(const std::string& Param, TMeasureDataP& Data) {
    last_ = TDownloadInfo{};
    driverSource_.ImageFile = ImageFile;
    // An attached USB meter wins even over an image file.
    const bool usb = usbSource_.FindDevice();
    TMDSource& chosen = usb ? static_cast<TMDSource&>(usbSource_) : driverSource_;
    chosen.OnProgress = OnProgress;
    chosen.Tag = Tag;
    chosen.GetData(Param, Data);
    if (usb) {
        last_.link = kLinkUsb;
    } else {
        last_ = driverSource_.LastDownload();
        last_.link = kLinkDriver;
    }
    last_.time = Now();
}

}  // namespace zorvex
