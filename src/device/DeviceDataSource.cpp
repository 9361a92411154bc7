#include "device/DeviceDataSource.h"

namespace zorvex {

void TDeviceDataSource::GetData(const std::string& Param, TMeasureDataP& Data) {
    driverSource_.ImageFile = ImageFile;
    // An attached USB meter wins even over an image file.
    TMDSource& chosen = usbSource_.FindDevice() ? static_cast<TMDSource&>(usbSource_) : driverSource_;
    chosen.OnProgress = OnProgress;
    chosen.Tag = Tag;
    chosen.GetData(Param, Data);
}

}  // namespace zorvex
