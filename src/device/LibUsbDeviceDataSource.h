#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/DateTime.h"
#include "model/MeasureModel.h"

namespace zorvex {

// The meter's bulk protocol: every exchange is one 64-byte request written to
// the OUT endpoint and one 64-byte reply read from the IN endpoint.
inline constexpr std::size_t kUsbFrameSize = 64;
using UsbFrame = std::array<std::uint8_t, kUsbFrameSize>;

inline constexpr int kUsbEndpointOut = 0x01;
inline constexpr int kUsbEndpointIn = 0x81;
inline constexpr int kUsbInterface = 0;
inline constexpr int kUsbTimeoutMs = 1000;

inline constexpr std::uint16_t kMeterVendorId = 0x03EB;
inline constexpr std::uint16_t kMeterProductId = 0x13D4;

// Request codes (byte 0 of a request).
inline constexpr std::uint8_t kUsbSingleCount = 0x1E;    // reply bytes 0-3: count
inline constexpr std::uint8_t kUsbMonitorCount = 0x1F;   // reply bytes 0-3: count
inline constexpr std::uint8_t kUsbSingleRecord = 0x1C;   // bytes 1-4: index from 0
inline constexpr std::uint8_t kUsbMonitorRecord = 0x1D;  // bytes 1-4: index from 0

// What the meter's memory can hold; a count reply beyond these (or below 0) is a damaged reply.
inline constexpr std::int32_t kUsbMaxSingles = 255;
inline constexpr std::int32_t kUsbMaxMonitors = 8106;

// A request frame: the command in byte 0, the record index little-endian in bytes 1-4, zeros after.
UsbFrame MakeUsbRequest(std::uint8_t command, std::int32_t index = 0);
// Bytes 0-3 of a frame as a little-endian int32.
std::int32_t UsbFrameInt32(const UsbFrame& frame, std::size_t offset = 0);

// One record reply of the meter, decoded.
struct TUsbRecord {
    std::uint8_t kind = 0;       // 0..4
    std::uint8_t field = 0;      // H: 0 magnetic, otherwise electric; 1 completes a 50 Hz pair
    std::uint8_t band = 0;       // band code 0..2
    std::uint8_t rejection = 0;  // 0 or 1
    TDateTime time = 0;
    double value = 0;  // nT when magnetic, V/m when electric; kAbsentValue when the frame holds no number
};

// Decodes a record reply. Time bytes that form no valid date and time raise
// EConvertError "''y.m.d h:n:s.0'' is not a valid date and time".
TUsbRecord DecodeUsbRecord(const UsbFrame& reply);

// Reads meters attached as plain USB devices with bulk endpoints, through the
// program-wide bus (UsbBus()).
class TLibUsbDeviceDataSource : public TMDSource {
public:
    std::uint16_t VendorId = kMeterVendorId;
    std::uint16_t ProductId = kMeterProductId;

    // True when a device with VendorId and ProductId is on a bus; opens nothing.
    bool FindDevice();

    // Reads every matching meter, in bus order, into `Data` (Param is ignored).
    // A failed, short or timed-out transfer, or a record count the meter
    // cannot hold, raises "Ошибка обмена" and leaves no record in `Data`; the
    // interface is released and the device closed on every way out.
    void GetData(const std::string& Param, TMeasureDataP& Data) override;

private:
    // Reads every matching meter into the emptied `Data`.
    void ReadMeters(TMeasureDataP& Data);
};

}  // namespace zorvex
