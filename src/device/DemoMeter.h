#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/UsbBus.h"
#include "model/MeasureModel.h"

namespace zorvex {

// Which link the demonstration meter is attached by.
enum class TDemoLink { Driver, Usb };

// "--demo" and "--demo=driver" give Driver, "--demo=usb" gives Usb, any other
// argument nothing. "--demo=" with another name raises.
std::optional<TDemoLink> ParseDemoOption(std::string_view argument);

// One inspection day of an office as a download over the driver link gives it:
// the same every call.
TMeasureDataP DemoMeasurements();
// The demonstration meter's passport.
TPassport DemoPassport();
// The demonstration meter's memory: DemoMeasurements() and DemoPassport().
std::vector<std::uint8_t> DemoMemoryImage();

// Attaches the demonstration meter to the process for as long as the object
// lives, so that download, passport and clearing run their ordinary code.
// Driver: a simulated meter serving DemoMemoryImage() behind the driver link,
// and an empty USB bus so that a real USB meter cannot take the download over;
// a clear of its memory lasts for the object's life. Usb: a simulated bus with
// one meter answering the same records, and no meter behind the driver link.
// The previous driver backend and USB bus come back when the object goes.
class TDemoMeter {
public:
    explicit TDemoMeter(TDemoLink link);
    ~TDemoMeter();
    TDemoMeter(const TDemoMeter&) = delete;
    TDemoMeter& operator=(const TDemoMeter&) = delete;

    TDemoLink Link() const { return link_; }

private:
    TDemoLink link_;
    DriverBackendScope driver_;
    UsbBusScope bus_;
};

}  // namespace zorvex
