#include "device/LibUsbDeviceDataSource.h"

#include <bit>
#include <cmath>
#include <memory>

#include "base/Exceptions.h"
#include "base/Prompts.h"
#include "device/DeviceLink.h"
#include "device/UsbBus.h"

namespace zorvex {
namespace {

// A magnetic reading arrives as a raw figure that this factor turns into nT.
constexpr double kMagneticScale = 1.256;

constexpr const char* kExchangeError = "Ошибка обмена";

// The reply carries the time fields from the year down; the memory image from the second up.
TDateTime RecordTime(const UsbFrame& reply) {
    const std::uint8_t fields[6] = {reply[7], reply[6], reply[5], reply[4], reply[3], reply[2]};
    return MeterDateTime(fields);
}

std::uint8_t KindOf(int type, int field) {
    if (type <= 2) return kKind50Hz;
    if (type <= 5) return field == 0 ? kKindSvtMagnetic : kKindSvtElectric;
    return field == 0 ? kKindMagnetic : kKindElectric;
}

std::uint8_t BandOf(int code) {
    if (code == 2 || code == 8) return kBandHigh;
    if (code == 5) return kBandMid;
    return kBandLow;
}

// Releases the claimed interface when the reading of a meter ends, whichever
// way it ends. Declared after the handle, so the device is closed afterwards.
class ClaimedInterface {
public:
    explicit ClaimedInterface(IUsbDeviceHandle& handle) : handle_(handle) {}
    ~ClaimedInterface() { handle_.ReleaseInterface(kUsbInterface); }
    ClaimedInterface(const ClaimedInterface&) = delete;
    ClaimedInterface& operator=(const ClaimedInterface&) = delete;

private:
    IUsbDeviceHandle& handle_;
};

// One meter's request/reply exchanges on its open handle.
class MeterLink {
public:
    explicit MeterLink(IUsbDeviceHandle& handle) : handle_(handle) {}

    std::int32_t Exchange(std::uint8_t command) { return UsbFrameInt32(Transfer(MakeUsbRequest(command))); }

    TUsbRecord ReadRecord(std::uint8_t command, std::int32_t index) {
        return DecodeUsbRecord(Transfer(MakeUsbRequest(command, index)));
    }

private:
    // The reply goes into a fresh zeroed frame and counts only when it came
    // back whole, so a failed read can never be taken for the request.
    UsbFrame Transfer(const UsbFrame& request) {
        if (handle_.BulkWrite(kUsbEndpointOut, request, kUsbTimeoutMs) != static_cast<int>(kUsbFrameSize))
            throw Exception(kExchangeError);
        UsbFrame reply{};
        if (handle_.BulkRead(kUsbEndpointIn, reply, kUsbTimeoutMs) != static_cast<int>(kUsbFrameSize))
            throw Exception(kExchangeError);
        return reply;
    }

    IUsbDeviceHandle& handle_;
};

}  // namespace

UsbFrame MakeUsbRequest(std::uint8_t command, std::int32_t index) {
    UsbFrame frame{};
    frame[0] = command;
    const auto bits = static_cast<std::uint32_t>(index);
    for (int i = 0; i < 4; ++i) frame[1 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return frame;
}

std::int32_t UsbFrameInt32(const UsbFrame& frame, std::size_t offset) {
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = (bits << 8) | frame.at(offset + i);
    return static_cast<std::int32_t>(bits);
}

TUsbRecord DecodeUsbRecord(const UsbFrame& reply) {
    TUsbRecord record;
    const int type = reply[0] & 0x0F;
    record.field = static_cast<std::uint8_t>(reply[0] >> 4);
    record.kind = KindOf(type, record.field);
    record.band = BandOf(reply[1]);
    record.rejection = reply[1] == 4 ? 1 : 0;
    record.time = RecordTime(reply);
    const auto raw = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(UsbFrameInt32(reply, 8))));
    // A frame with no number in it (NaN, infinity) must not reach the tables and the store as one.
    if (!std::isfinite(raw))
        record.value = kAbsentValue;
    else
        record.value = record.field == 0 ? raw * kMagneticScale : raw;
    return record;
}

bool TLibUsbDeviceDataSource::FindDevice() {
    for (const auto& device : UsbBus().Scan())
        if (device.vendorId == VendorId && device.productId == ProductId) return true;
    return false;
}

void TLibUsbDeviceDataSource::GetData(const std::string&, TMeasureDataP& Data) {
    const auto clear = [&Data] {
        for (int m = 0; m < kMethodCount; ++m)
            for (auto& series : Data.series[m]) {
                series.method = static_cast<std::uint8_t>(m);
                series.Records.clear();
            }
    };
    clear();
    try {
        ReadMeters(Data);
    } catch (...) {
        // A download that broke off is no download: half of a meter's memory must not pass for all of it.
        clear();
        throw;
    }
}

void TLibUsbDeviceDataSource::ReadMeters(TMeasureDataP& Data) {
    IUsbBus& bus = UsbBus();
    const auto devices = bus.Scan();
    // Totals over all meters of this download.
    std::int32_t singles = 0, monitors = 0;
    const auto report = [&] {
        TMDProgress progress;
        progress.Singles = singles;
        progress.Monitors = monitors;
        return ReportProgress(progress);
    };

    for (std::size_t index = 0; index < devices.size(); ++index) {
        if (devices[index].vendorId != VendorId || devices[index].productId != ProductId) continue;

        const std::unique_ptr<IUsbDeviceHandle> handle = bus.Open(index);
        // A meter held by another program cannot be claimed; the user hears the same as for one that will not open.
        if (!handle || handle->ClaimInterface(kUsbInterface) < 0) {
            Prompts().ShowMessage("Не удалось получить доступ к устройству", "Ошибка", MessageIcon::Error);
            return;
        }
        const ClaimedInterface claimed(*handle);
        MeterLink link(*handle);
        std::int32_t number = 1;  // counts per meter

        if (!report()) {
            Prompts().ShowMessage("Прервано пользователем", "", MessageIcon::None);
            return;
        }

        // Singles first, then monitoring; a 50 Hz magnetic record takes the
        // electric record that follows it at the same moment as its pair.
        for (const int method : {kMethodSingle, kMethodMonitoring}) {
            const bool single = method == kMethodSingle;
            const std::uint8_t recordCommand = single ? kUsbSingleRecord : kUsbMonitorRecord;
            const std::int32_t count = link.Exchange(single ? kUsbSingleCount : kUsbMonitorCount);
            // A count the memory cannot hold would keep the download asking for records that are not there.
            if (count < 0 || count > (single ? kUsbMaxSingles : kUsbMaxMonitors)) throw Exception(kExchangeError);
            std::int32_t i = 0;
            while (i < count) {
                const TUsbRecord reply = link.ReadRecord(recordCommand, i);
                ++i;
                TMeasureRecord record;
                record.kind = reply.kind;
                record.number = number++;
                record.time = reply.time;
                record.mvalue = record.evalue = record.mvalue2 = record.evalue2 = kAbsentValue;
                record.band = single ? reply.band : kBandLow;  // a monitoring series has no band per record
                record.rejection = reply.rejection;
                if (reply.kind == kKindSvtMagnetic || reply.kind == kKindMagnetic ||
                    (reply.kind == kKind50Hz && reply.field == 0))
                    record.mvalue = reply.value;
                else
                    record.evalue = reply.value;
                if (reply.kind == kKind50Hz && reply.field == 0 && i < count) {
                    const TUsbRecord next = link.ReadRecord(recordCommand, i);
                    if (next.kind == kKind50Hz && next.field == 1 && next.time == reply.time) {
                        record.evalue = next.value;
                        ++i;
                    }
                }
                Data(method, record.kind).Records.push_back(record);
                ++(single ? singles : monitors);
                if (!report()) {
                    Prompts().ShowMessage("Прервано пользователем", "", MessageIcon::None);
                    return;
                }
            }
        }

        if (singles == 0 && monitors == 0)
            Prompts().ShowMessage("Карта памяти пуста", "Информация", MessageIcon::Information);
    }
}

}  // namespace zorvex
