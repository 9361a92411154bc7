#pragma once

#include <string>

#include "device/DownloadInfo.h"
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

    // What the last GetData knows of its download: the link it took, its end
    // (Now()), and for the driver link the meter's memory with the passport
    // fields read from it. The USB link has no passport request, so its
    // passport fields stay unknown. Reset when a GetData fails.
    const TDownloadInfo& LastDownload() const { return last_; }

private:
    TDownloadInfo last_;
    TSLDeviceDataSource driverSource_;
    TLibUsbDeviceDataSource usbSource_;
};

}  // namespace zorvex
