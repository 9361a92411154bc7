#include "device/SLDeviceDataSource.h"

#include <array>
#include <cmath>
#include <span>
#include <string>

#include "base/Prompts.h"

namespace zorvex {
namespace {

constexpr int kSingleFieldBytes = 10;  // byte 10 of a record is not used
constexpr int kSecondsPerDay = 86400;

// The memory as far as it was read. Bytes of sectors not read, and bytes past
// the end of a short image file, are zero and never decoded.
class MemoryImage {
public:
    explicit MemoryImage(TZorvexDriver& driver) : driver_(driver) {}

    // Reads a sector into place; false when the request failed.
    bool Read(int sector) {
        const bool ok = driver_.ReadSector(static_cast<std::uint16_t>(sector),
                                           TSectorSpan(bytes_.data() + sector * kSectorSize, kSectorSize));
        received_[sector] = ok ? driver_.LastSectorBytes() : 0;
        read_[sector] = read_[sector] || ok;
        return ok;
    }
    bool WasRead(int sector) const { return read_[sector]; }
    // The bytes from offset 0 up to the first one that did not arrive.
    std::span<const std::uint8_t> ReceivedPrefix() const {
        std::size_t size = 0;
        for (int sector = 0; sector < kSectorCount; ++sector) {
            size += static_cast<std::size_t>(received_[sector]);
            if (received_[sector] < kSectorSize) break;
        }
        return std::span<const std::uint8_t>(bytes_.data(), size);
    }
    // Reads a sector or raises the exchange error.
    void Load(int sector) {
        if (!Read(sector)) throw Exception(kExchangeErrorText);
    }
    // Whether every byte of [offset, offset + count) came from the memory.
    bool Has(int offset, int count) const {
        if (offset < 0 || count < 0 || offset + count > kMemoryImageSize) return false;
        for (int at = offset; at < offset + count; ++at)
            if (at % kSectorSize >= received_[at / kSectorSize]) return false;
        return true;
    }
    std::uint8_t operator[](int offset) const { return bytes_.at(offset); }
    const std::uint8_t* At(int offset) const { return &bytes_.at(offset); }
    double Value(int offset) const {
        return DecodeValueCode(bytes_.at(offset), bytes_.at(offset + 1), bytes_.at(offset + 2));
    }

private:
    TZorvexDriver& driver_;
    std::array<std::uint8_t, kMemoryImageSize> bytes_{};
    std::array<int, kSectorCount> received_{};
    std::array<bool, kSectorCount> read_{};
};

// Closes the link on every way out of a download.
class LinkGuard {
public:
    explicit LinkGuard(TZorvexDriver& driver) : driver_(driver) {}
    ~LinkGuard() { driver_.CloseDevice(); }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;

private:
    TZorvexDriver& driver_;
};

void ShowAborted() {
    Prompts().ShowMessage("Прервано пользователем", "", MessageIcon::None);
}

}  // namespace

double DecodeValueCode(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if (b0 == 0xFF && b1 == 0xFF && b2 == 0xFF) return kEndCodeValue;
    const int exponent = (b0 & 0x7F) * 2 + (b1 >> 7);
    const int fraction = (b1 & 0x7F) * 65536 + b2 * 256;
    // Exact in double for every exponent, 0 and 255 included: no zero, no infinity.
    const double magnitude = std::ldexp(1.0 + fraction / 8388608.0, exponent - 127);
    return (b0 & 0x80) != 0 ? -magnitude : magnitude;
}

std::string ShortImageFileText(int size, TShortImageLoss loss) {
    std::string text = "Файл образа памяти короче памяти прибора на " + std::to_string(kMemoryImageSize - size) +
                       " байт (" + std::to_string(size) + " из " + std::to_string(kMemoryImageSize) + ")";
    switch (loss) {
        case TShortImageLoss::Records:
            return text + ": записи за его концом не прочитаны";
        case TShortImageLoss::Passport:
            return text + ": поля паспорта за его концом не прочитаны";
        case TShortImageLoss::Nothing:
            break;
    }
    return text;
}

int KindOf(TFieldClass fieldClass, bool electric) {
    switch (fieldClass) {
        case TFieldClass::PowerFrequency:
            return kKind50Hz;
        case TFieldClass::Workplace:
            return electric ? kKindSvtElectric : kKindSvtMagnetic;
        case TFieldClass::General:
            break;
    }
    return electric ? kKindElectric : kKindMagnetic;
}

TFieldClass SingleRecordClass(std::uint8_t flags) {
    switch ((flags >> 4) & 0x03) {
        case 0:
            return TFieldClass::Workplace;
        case 2:
            return TFieldClass::PowerFrequency;
        default:
            return TFieldClass::General;
    }
}

TFieldClass MonitorClass(std::uint8_t mode) {
    switch (mode >> 4) {
        case 0:
            return TFieldClass::Workplace;
        case 2:
            return TFieldClass::PowerFrequency;
        default:
            return TFieldClass::General;
    }
}

void TSLDeviceDataSource::GetData(const std::string&, TMeasureDataP& Data) {
    last_ = TDownloadInfo{};
    driver_.ImageFile = ImageFile;
    if (!driver_.OpenDevice(0)) {
        driver_.CloseDevice();
        throw Exception(kDeviceNotFoundText);
    }
    LinkGuard guard(driver_);

    MemoryImage image(driver_);
    image.Load(0);
    image.Load(kHeaderSector);
    Data.SetMethodBytes();

    int values = 0;        // value codes read, singles and monitoring together
    bool pastEnd = false;  // a short image file ended where records could still be
    TMDProgress progress;

    // Single measurements.
    if (!image.Has(kSingleCountOffset, 1)) pastEnd = true;
    const int count = image.Has(kSingleCountOffset, 1) ? image[kSingleCountOffset] : 0;
    if (count > 0) {
        const int lastSector = (kSingleRecordsOffset - 1 + kSingleRecordSize * count) / kSectorSize;
        for (int sector = kHeaderSector; sector <= lastSector; ++sector) image.Load(sector);

        int number = 1;
        bool havePrevious = false;
        bool previousMergeable = false;  // the previous device record was a magnetic power-frequency one
        TDateTime previousTime = 0;
        for (int i = 0; i < count; ++i) {
            const int at = kSingleRecordsOffset + kSingleRecordSize * i;
            if (!image.Has(at, kSingleFieldBytes)) {  // past the end of a short image file
                pastEnd = true;
                break;
            }
            const std::uint8_t flags = image[at + 9];
            const bool electric = (flags & 0x01) != 0;
            const std::uint8_t bandBit = (flags >> 1) & 0x01;
            const std::uint8_t rejectionBit = (flags >> 2) & 0x01;
            const int kind = KindOf(SingleRecordClass(flags), electric);
            const TDateTime time = MeterDateTime(image.At(at + 3));

            // A magnetic and an electric 50 Hz reading taken together make one record. Only the
            // record made from the device record just before may take the electric value.
            auto& powerSeries = Data(kMethodSingle, kKind50Hz).Records;
            const bool merge = kind == kKind50Hz && !powerSeries.empty() && havePrevious && previousMergeable &&
                               time == previousTime && electric;
            if (!merge) Data(kMethodSingle, kind).Records.emplace_back();
            TMeasureRecord& target = Data(kMethodSingle, kind).Records.back();
            target.number = number++;
            target.workplace = 0;
            target.kind = static_cast<std::uint8_t>(kind);
            target.time = time;
            target.rejection = rejectionBit;

            const double value = image.Value(at);
            ++values;
            switch (kind) {
                case kKind50Hz:
                    if (!merge) target.mvalue = target.evalue = kAbsentValue;
                    (electric ? target.evalue : target.mvalue) = value;
                    break;
                case kKindSvtMagnetic:
                case kKindSvtElectric:
                    target.band = bandBit;
                    target.mvalue = target.evalue = kAbsentValue;
                    (kind == kKindSvtElectric ? target.evalue : target.mvalue) = value;
                    break;
                default:
                    target.band = rejectionBit != 0 ? kBandMid : bandBit;
                    (kind == kKindElectric ? target.evalue : target.mvalue) = value;
                    break;
            }
            havePrevious = true;
            previousMergeable = kind == kKind50Hz && !electric;
            previousTime = time;

            progress.Percent = (i + 1) * 10 / 256;
            progress.Singles = values;
            progress.Monitors = 0;
            if (!ReportProgress(progress)) return ShowAborted();
        }
    }

    // The monitoring series.
    image.Load(kHeaderSector);
    const bool haveHeader = image.Has(kMonitorModeOffset, kMonitorIntervalOffset - kMonitorModeOffset + 1);
    if (!haveHeader) pastEnd = true;
    if (haveHeader && image[kMonitorFieldOffset] != kNoMonitoring) {
        const std::uint8_t mode = image[kMonitorModeOffset];
        const bool electric = image[kMonitorFieldOffset] != 0;
        const int kind = KindOf(MonitorClass(mode), electric);
        const std::uint8_t bandBit = mode & 0x01;
        const bool pairs = (mode & 0x02) != 0;
        const std::uint8_t rejectionBit = (mode >> 2) & 0x01;
        const TDateTime start = MeterDateTime(image.At(kMonitorStartOffset));
        const int interval = image[kMonitorIntervalOffset];
        auto& records = Data(kMethodMonitoring, kind).Records;

        int j = 0;
        int loaded = kMonitorValuesOffset;
        // Reads value j, fetching its sectors first; false when its bytes are not in the memory.
        const auto readValue = [&](double& value) {
            while (kMonitorValuesOffset + 3 * j + 2 >= loaded && loaded < kMemoryImageSize) {
                // A sector that did not arrive would decode as a run of false readings.
                image.Load(loaded / kSectorSize);
                loaded += kSectorSize;
            }
            const int at = kMonitorValuesOffset + kValueCodeSize * j;
            if (!image.Has(at, kValueCodeSize)) {
                pastEnd = true;
                return false;
            }
            value = image.Value(at);
            ++j;
            ++values;
            return true;
        };

        int recordCount = 0;
        while (j < kMaxMonitorValues) {
            double value = 0;
            if (!readValue(value) || !(value > kEndCodeValue)) break;

            progress.Percent = j * 90 / kMaxMonitorValues + 10;
            progress.Monitors = recordCount + 1;
            if (!ReportProgress(progress)) return ShowAborted();

            TMeasureRecord record;
            bool complete = true;
            record.kind = static_cast<std::uint8_t>(kind);
            // Each time is computed from the start, not by adding the interval
            // to the previous one: over thousands of samples the additions
            // drift by milliseconds and whole seconds would come out one early.
            record.time = start + static_cast<double>(recordCount) * interval / kSecondsPerDay;
            record.mvalue = record.evalue = kAbsentValue;
            switch (kind) {
                case kKind50Hz:
                    if (pairs) {
                        record.mvalue = value;
                        complete = readValue(record.evalue);  // false: the pair's second half is not in the memory
                    } else {
                        (electric ? record.evalue : record.mvalue) = value;
                    }
                    break;
                case kKindSvtMagnetic:
                case kKindSvtElectric:
                    (kind == kKindSvtElectric ? record.evalue : record.mvalue) = value;
                    record.band = bandBit;
                    record.rejection = rejectionBit;
                    break;
                default:
                    (kind == kKindElectric ? record.evalue : record.mvalue) = value;
                    record.band = rejectionBit != 0 ? kBandMid : bandBit;
                    break;
            }
            if (!complete) break;
            records.push_back(record);
            ++recordCount;
        }
    }

    // The kept image is the whole memory, not only what the records needed:
    // the sectors not read yet follow in ascending order.
    for (int sector = 0; sector < kSectorCount; ++sector)
        if (!image.WasRead(sector)) image.Load(sector);
    const auto received = image.ReceivedPrefix();
    last_.link = kLinkDriver;
    ReadImagePassport(received, last_);
    // A short image file is no meter memory: its missing bytes are not kept as zeros.
    if (received.size() == kMemoryImageSize) last_.image.assign(received.begin(), received.end());

    driver_.CloseDevice();
    const bool shortFile = received.size() < static_cast<std::size_t>(kMemoryImageSize);
    if (shortFile)
        Prompts().ShowMessage(ShortImageFileText(static_cast<int>(received.size()),
                                                 pastEnd ? TShortImageLoss::Records : TShortImageLoss::Nothing),
                              "Предупреждение", MessageIcon::Warning);
    // Records may lie past the end of a short file: its memory is not known to be empty.
    if (values == 0 && !(shortFile && pastEnd))
        Prompts().ShowMessage("Карта памяти пуста", "Информация", MessageIcon::Information);
}

}  // namespace zorvex
