#include "device/MeterCommands.h"

#include "base/Exceptions.h"
#include "device/ZorvexDriver.h"

namespace zorvex {

void ClearMeterMemory() {
    TZorvexDriver driver;  // closes the device when it goes
    if (!driver.OpenDevice(0)) throw Exception(kDeviceNotFoundText);
    if (!driver.WriteByte(kSingleCountOffset, 0)) throw Exception(kExchangeErrorText);
    driver.CloseDevice();
}

}  // namespace zorvex
