#include "device/ImageBuilder.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "base/Format.h"
#include "base/Paths.h"

namespace zorvex {
namespace {

constexpr std::uint8_t kWriteAllBits = 0xFF;

TFieldClass ClassOfKind(int kind) {
    switch (kind) {
        case kKind50Hz:
            return TFieldClass::PowerFrequency;
        case kKindSvtMagnetic:
        case kKindSvtElectric:
            return TFieldClass::Workplace;
        default:
            return TFieldClass::General;
    }
}

bool IsElectricKind(int kind) {
    return kind == kKindSvtElectric || kind == kKindElectric;
}

}  // namespace

TValueCode EncodeValueCode(double value) {
    if (!std::isfinite(value) || value == 0) throw Exception(Format("Значение %g не имеет кода прибора", {value}));
    int exponent2 = 0;
    const double mantissa = std::frexp(std::fabs(value), &exponent2);  // in [0.5, 1)
    const int exponent = exponent2 - 1 + 127;
    const double fraction = (mantissa * 2 - 1) * 8388608.0;
    const bool exact = fraction == std::floor(fraction) && std::fmod(fraction, 256.0) == 0;
    if (exponent < 0 || exponent > 255 || !exact) throw Exception(Format("Значение %g не имеет кода прибора", {value}));
    const auto f = static_cast<std::uint32_t>(fraction);
    const TValueCode code = {static_cast<std::uint8_t>((std::signbit(value) ? 0x80 : 0) | exponent >> 1),
                             static_cast<std::uint8_t>((exponent & 1) << 7 | f >> 16),
                             static_cast<std::uint8_t>(f >> 8 & 0xFF)};
    if (code == kEndCode) throw Exception(Format("Значение %g не имеет кода прибора", {value}));
    return code;
}

TTimeFields MeterTimeFields(TDateTime time) {
    DateParts date;
    TimeParts clock;
    DecodeDateTime(time, date, clock);
    if (date.year < 2000 || date.year > 2255 || clock.millisecond != 0)
        throw Exception(Format("Время %g не записывается в прибор", {time}));
    return {static_cast<std::uint8_t>(clock.second), static_cast<std::uint8_t>(clock.minute),
            static_cast<std::uint8_t>(clock.hour),   static_cast<std::uint8_t>(date.day),
            static_cast<std::uint8_t>(date.month),   static_cast<std::uint8_t>(date.year - 2000)};
}

std::uint8_t SingleFlags(TFieldClass fieldClass, bool electric, bool bandBit, bool rejectionBit) {
    const int classBits = fieldClass == TFieldClass::Workplace ? 0 : fieldClass == TFieldClass::PowerFrequency ? 2 : 1;
    return static_cast<std::uint8_t>(classBits << 4 | (rejectionBit ? 4 : 0) | (bandBit ? 2 : 0) | (electric ? 1 : 0));
}

std::uint8_t MonitorMode(TFieldClass fieldClass, bool bandBit, bool pairs, bool rejectionBit) {
    const int classBits = fieldClass == TFieldClass::Workplace ? 0 : fieldClass == TFieldClass::PowerFrequency ? 2 : 1;
    return static_cast<std::uint8_t>(classBits << 4 | (rejectionBit ? 4 : 0) | (pairs ? 2 : 0) | (bandBit ? 1 : 0));
}

TImageBuilder::TImageBuilder() : image_(kMemoryImageSize, 0) {
    image_[kMonitorFieldOffset] = kNoMonitoring;
}

TImageBuilder& TImageBuilder::AddSingle(double value, TDateTime time, std::uint8_t flags) {
    return AddSingle(TSingleEntry{EncodeValueCode(value), MeterTimeFields(time), flags});
}

TImageBuilder& TImageBuilder::AddSingle(const TSingleEntry& entry) {
    if (singles_ >= 255) throw Exception("В памяти прибора не больше 255 однократных измерений");
    const int at = kSingleRecordsOffset + kSingleRecordSize * singles_;
    std::copy(entry.code.begin(), entry.code.end(), image_.begin() + at);
    std::copy(entry.time.begin(), entry.time.end(), image_.begin() + at + 3);
    image_[at + 9] = entry.flags;
    image_[at + 10] = 0;
    image_[kSingleCountOffset] = static_cast<std::uint8_t>(++singles_);
    return *this;
}

TImageBuilder& TImageBuilder::SetSingleCount(int count) {
    return SetByte(kSingleCountOffset, static_cast<std::uint8_t>(count));
}

TImageBuilder& TImageBuilder::SetMonitoring(std::uint8_t mode, std::uint8_t field, TDateTime start,
                                            std::uint8_t interval, const std::vector<double>& values) {
    if (values.size() > static_cast<std::size_t>(kMaxMonitorValues))
        throw Exception("В памяти прибора не больше 8106 значений мониторинга");
    std::vector<TValueCode> codes;
    codes.reserve(values.size() + 1);
    for (const double v : values) codes.push_back(v == kEndCodeValue ? kEndCode : EncodeValueCode(v));
    if (codes.size() < static_cast<std::size_t>(kMaxMonitorValues)) codes.push_back(kEndCode);
    return SetMonitoringCodes(mode, field, MeterTimeFields(start), interval, codes);
}

TImageBuilder& TImageBuilder::SetMonitoringCodes(std::uint8_t mode, std::uint8_t field, const TTimeFields& start,
                                                 std::uint8_t interval, const std::vector<TValueCode>& codes) {
    if (codes.size() > static_cast<std::size_t>(kMaxMonitorValues))
        throw Exception("В памяти прибора не больше 8106 значений мониторинга");
    image_[kMonitorModeOffset] = mode;
    image_[kMonitorFieldOffset] = field;
    std::copy(start.begin(), start.end(), image_.begin() + kMonitorStartOffset);
    image_[kMonitorIntervalOffset] = interval;
    for (std::size_t j = 0; j < codes.size(); ++j)
        std::copy(codes[j].begin(), codes[j].end(), image_.begin() + kMonitorValuesOffset + kValueCodeSize * j);
    return *this;
}

TImageBuilder& TImageBuilder::SetPassport(const TPassport& passport) {
    SetInt32(kSerialNumberOffset, passport.serialNumber);
    SetInt32(kPowerOnCountOffset, passport.powerOnCount);
    SetInt32(kRunningTimeOffset, passport.runningCounter);
    SetInt32(kFirmwareVersionOffset, passport.firmwareVersion);
    std::copy(passport.calibration.begin(), passport.calibration.end(), image_.begin() + kCalibrationDateOffset);
    return *this;
}

TImageBuilder& TImageBuilder::SetByte(int offset, std::uint8_t value) {
    image_.at(offset) = value;
    return *this;
}

TImageBuilder& TImageBuilder::SetBytes(int offset, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) image_.at(offset + i) = bytes[i];
    return *this;
}

TImageBuilder& TImageBuilder::SetInt32(int offset, std::int32_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) image_.at(offset + i) = static_cast<std::uint8_t>(word >> (8 * i) & kWriteAllBits);
    return *this;
}

void TImageBuilder::WriteFile(const std::string& path, int size) const {
    std::ofstream file(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    const auto length = static_cast<std::streamsize>(std::clamp(size, 0, kMemoryImageSize));
    file.write(reinterpret_cast<const char*>(image_.data()), length);
    if (!file) throw Exception(Format("Не удалось записать файл %s", {path}));
}

std::vector<std::uint8_t> BuildImage(const TMeasureDataP& data) {
    TImageBuilder builder;

    // Single records in device order; a 50 Hz record with both values was a
    // magnetic and an electric device record taken together.
    std::vector<const TMeasureRecord*> singles;
    for (int kind = 0; kind < kKindCount; ++kind)
        for (const auto& record : data(kMethodSingle, kind).Records) singles.push_back(&record);
    std::stable_sort(singles.begin(), singles.end(),
                     [](const TMeasureRecord* a, const TMeasureRecord* b) { return a->number < b->number; });
    for (const TMeasureRecord* record : singles) {
        const int kind = record->kind;
        const TFieldClass fieldClass = ClassOfKind(kind);
        const bool rejection = record->rejection != 0;
        if (kind == kKind50Hz) {
            const bool magnetic = record->mvalue != kAbsentValue;
            const bool electric = record->evalue != kAbsentValue;
            if (magnetic || !electric)
                builder.AddSingle(record->mvalue, record->time, SingleFlags(fieldClass, false, false, rejection));
            if (electric)
                builder.AddSingle(record->evalue, record->time, SingleFlags(fieldClass, true, false, rejection));
        } else if (fieldClass == TFieldClass::Workplace) {
            builder.AddSingle(IsElectricKind(kind) ? record->evalue : record->mvalue, record->time,
                              SingleFlags(fieldClass, IsElectricKind(kind), record->band & 1, rejection));
        } else {
            // The general kinds keep the 10-30 kHz band in the rejection bit.
            builder.AddSingle(IsElectricKind(kind) ? record->evalue : record->mvalue, record->time,
                              SingleFlags(fieldClass, IsElectricKind(kind), record->band == kBandHigh,
                                          rejection || record->band == kBandMid));
        }
    }

    const TMeasureSeries* monitoring = nullptr;
    int kind = 0;
    for (int k = 0; k < kKindCount; ++k) {
        if (data(kMethodMonitoring, k).Records.empty()) continue;
        if (monitoring != nullptr) throw Exception("В памяти прибора только одна серия мониторинга");
        monitoring = &data(kMethodMonitoring, k);
        kind = k;
    }
    if (monitoring != nullptr) {
        const auto& records = monitoring->Records;
        const TMeasureRecord& first = records.front();
        const TFieldClass fieldClass = ClassOfKind(kind);
        const bool pairs = kind == kKind50Hz && std::any_of(records.begin(), records.end(), [](const auto& r) {
                               return r.mvalue != kAbsentValue && r.evalue != kAbsentValue;
                           });
        const bool electric = IsElectricKind(kind) || (kind == kKind50Hz && !pairs && first.mvalue == kAbsentValue);
        const double interval = records.size() > 1 ? std::round((records[1].time - first.time) * 86400.0) : 0.0;
        if (interval < 0 || interval > 255) throw Exception("Интервал мониторинга вне 0-255 с");
        const bool bandBit = fieldClass == TFieldClass::General ? first.band == kBandHigh : (first.band & 1) != 0;
        const bool rejectionBit = fieldClass == TFieldClass::General ? first.band == kBandMid : first.rejection != 0;

        std::vector<double> values;
        for (const auto& r : records) {
            if (pairs) {
                values.push_back(r.mvalue);
                values.push_back(r.evalue);
            } else {
                values.push_back(electric ? r.evalue : r.mvalue);
            }
        }
        builder.SetMonitoring(MonitorMode(fieldClass, bandBit, pairs, rejectionBit), electric ? 1 : 0, first.time,
                              static_cast<std::uint8_t>(interval), values);
    }
    return builder.Image();
}

}  // namespace zorvex
