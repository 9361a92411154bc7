#pragma once

#include <string>

#include "device/LibUsbDeviceDataSource.h"
#include "device/SLDeviceDataSource.h"
#include "model/MeasureModel.h"

namespace zorvex {

// The one device source the program uses: a meter on the USB bulk link when
// one is attached, otherwise the driver link (or its memory-image file).
class TDeviceDataSource : public TMDSource {
public:
    // A memory-image file that the driver link reads instead of the meter.
    std::string ImageFile;

    void GetData(const std::string& Param, TMeasureDataP& Data) override;

private:
    TSLDeviceDataSource driverSource_;
    TLibUsbDeviceDataSource usbSource_;
};

}  // namespace zorvex
