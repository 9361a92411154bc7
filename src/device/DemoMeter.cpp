#include "device/DemoMeter.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "device/SimulatedMeter.h"
#include "device/SimulatedUsbBus.h"

namespace zorvex {
namespace {

// The day: Tuesday, 17 March 2026.
constexpr int kYear = 2026;
constexpr int kMonth = 3;
constexpr int kDay = 17;
constexpr int kSecondsPerDay = 86400;

constexpr int At(int hour, int minute, int second) {
    return hour * 3600 + minute * 60 + second;
}

// Two hours of the magnetic field at the desk by the distribution board, both ends sampled.
constexpr int kMonitorStart = At(10, 0, 0);
constexpr int kMonitorInterval = 5;
constexpr int kMonitorSamples = 2 * 3600 / kMonitorInterval + 1;
// The built-in permissible level of the computer-workplace magnetic field,
// 5 Hz - 2 kHz, that the run crosses (the levels live in storage, above this layer).
constexpr double kMonitorLevel = 250;

constexpr std::uint64_t kSeed = 0x20260317A5C3E1D9ULL;

// A small generator of our own: the day must not change when the program's
// random source or the standard library's distributions do.
class TDemoRandom {
public:
    explicit TDemoRandom(std::uint64_t seed) : state_(seed) {}

    // splitmix64
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double Uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
    }
    int Between(int low, int high) {
        return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }

private:
    std::uint64_t state_;
};

// A figure as the meter keeps it: ten significant bits, which its value code holds exactly.
double MeterValue(double value) {
    int exponent = 0;
    std::frexp(value, &exponent);
    const double step = std::ldexp(1.0, exponent - 10);
    return std::round(value / step) * step;
}

// One reading of the day; a 50 Hz reading is a magnetic and an electric value taken together.
struct TReading {
    int kind = 0;
    int band = kBandLow;
    bool rejection = false;
    int second = 0;  // of the day
    double mvalue = kAbsentValue;
    double evalue = kAbsentValue;
};

struct TDemoDay {
    std::vector<TReading> singles;   // in the order taken
    std::vector<double> monitoring;  // nT, kMonitorInterval seconds apart from kMonitorStart
};

TDateTime DayTime(int second) {
    // Put together as the download puts the meter's time fields together.
    return EncodeDate(kYear, kMonth, kDay) + EncodeTime(second / 3600, second / 60 % 60, second % 60, 0);
}

// 0 outside [from, to + ramp], 1 on [from + ramp, to], straight ramps between.
double Plateau(int i, int from, int to, int ramp) {
    if (i <= from || i >= to + ramp) return 0;
    if (i < from + ramp) return static_cast<double>(i - from) / ramp;
    if (i <= to) return 1;
    return static_cast<double>(to + ramp - i) / ramp;
}

// The electrical room first, four points moving away from the switchboard; then the
// monitoring run; then the eight computer workplaces.
TDemoDay MakeDemoDay() {
    TDemoRandom random(kSeed);
    TDemoDay day;
    const auto add = [&day](int kind, int band, bool rejection, int second, double m, double e) {
        TReading r;
        r.kind = kind;
        r.band = band;
        r.rejection = rejection;
        r.second = second;
        r.mvalue = m < 0 ? kAbsentValue : MeterValue(m);
        r.evalue = e < 0 ? kAbsentValue : MeterValue(e);
        day.singles.push_back(r);
    };

    int t = At(9, 20, 15);
    const double nearness[] = {1.0, 0.55, 0.3, 0.15};
    for (const double f : nearness) {
        add(kKindMagnetic, kBandLow, false, t, f * random.Uniform(3800, 4600), -1);
        t += random.Between(20, 40);
        add(kKindMagnetic, kBandHigh, false, t, 6 + f * random.Uniform(25, 40), -1);
        t += random.Between(20, 40);
        add(kKindElectric, kBandLow, false, t, -1, 12 + f * random.Uniform(90, 140));
        t += random.Between(20, 40);
        add(kKindElectric, kBandHigh, false, t, -1, 0.3 + f * random.Uniform(2, 3.2));
        t += random.Between(45, 90);
    }

    // A slow drift, a little noise, and twice the load behind the board switched on
    // for a while; the ramps are steeper than the noise, so each crosses the level once.
    day.monitoring.reserve(kMonitorSamples);
    for (int i = 0; i < kMonitorSamples; ++i) {
        const double phase = static_cast<double>(i % 720) / 720;
        const double drift = 15 * (1 - 4 * std::fabs(phase - 0.5));
        const double load = Plateau(i, 420, 660, 4) + Plateau(i, 960, 1104, 4);
        double v = 165 + drift + random.Uniform(-8, 8) + 150 * load;
        if (std::fabs(v - kMonitorLevel) < 1) v = v < kMonitorLevel ? kMonitorLevel - 1 : kMonitorLevel + 1;
        day.monitoring.push_back(MeterValue(v));
    }

    t = At(12, 10, 20);
    for (int workplace = 1; workplace <= 8; ++workplace) {
        const bool board = workplace == 6;       // next to the floor's distribution board
        const bool oldMonitor = workplace == 3;  // an old monitor
        const bool filtered = workplace == 2 || workplace == 4 || workplace == 6 || workplace == 7;
        const auto next = [&] { t += random.Between(25, 70); };

        // The 5 Hz - 2 kHz band holds the 50 Hz field, which is most of it in an office.
        const double low = board ? random.Uniform(300, 330) : random.Uniform(40, 190);
        const double electricLow = oldMonitor ? 25.0 : random.Uniform(3, 17);
        add(kKind50Hz, kBandLow, false, t, low * random.Uniform(0.7, 0.95), electricLow * random.Uniform(0.6, 0.9));
        next();
        add(kKindSvtMagnetic, kBandLow, false, t, low, -1);
        next();
        if (filtered) {  // again without the 50 Hz part
            add(kKindSvtMagnetic, kBandLow, true, t,
                low * (board ? random.Uniform(0.15, 0.3) : random.Uniform(0.3, 0.6)), -1);
            next();
        }
        add(kKindSvtMagnetic, kBandHigh, false, t, oldMonitor ? random.Uniform(26, 29) : random.Uniform(2.5, 14), -1);
        next();
        add(kKindSvtElectric, kBandLow, false, t, -1, electricLow);
        next();
        add(kKindSvtElectric, kBandHigh, false, t, -1,
            oldMonitor ? random.Uniform(2.6, 3.0) : random.Uniform(0.15, 0.9));
        t += random.Between(180, 420);
    }
    return day;
}

bool Magnetic(int kind) {
    return kind == kKindSvtMagnetic || kind == kKindMagnetic;
}

// The meter's record replies on the USB link for one reading (two for a 50 Hz pair).
void AddUsbReplies(std::vector<UsbFrame>& frames, int kind, int band, bool rejection, int second, double m, double e) {
    UsbRecordReply reply;
    reply.year = kYear;
    reply.month = kMonth;
    reply.day = kDay;
    reply.hour = second / 3600;
    reply.minute = second / 60 % 60;
    reply.second = second % 60;
    reply.type = kind == kKind50Hz ? 1 : kind <= kKindSvtElectric ? 4 : 7;
    reply.band = band == kBandHigh ? 2 : rejection ? 4 : 0;
    // The link multiplies a magnetic figure by 1.256 to give nT.
    const auto magnetic = [&](double value) {
        reply.field = 0;
        reply.value = static_cast<float>(value / 1.256);
        frames.push_back(EncodeUsbRecordReply(reply));
    };
    const auto electric = [&](double value) {
        reply.field = 1;
        reply.value = static_cast<float>(value);
        frames.push_back(EncodeUsbRecordReply(reply));
    };
    if (kind == kKind50Hz) {
        magnetic(m);
        electric(e);
    } else if (Magnetic(kind)) {
        magnetic(m);
    } else {
        electric(e);
    }
}

std::shared_ptr<IDriverBackend> DemoDriverBackend(TDemoLink link) {
    // On the USB link nothing answers behind the driver.
    if (link != TDemoLink::Driver) {
        auto absent = std::make_shared<TSimulatedMeter>(std::vector<std::uint8_t>{});
        absent->present = false;
        return absent;
    }
    return std::make_shared<TSimulatedMeter>(DemoMemoryImage());
}

std::shared_ptr<IUsbBus> DemoUsbBus(TDemoLink link) {
    auto bus = std::make_shared<SimulatedUsbBus>();
    if (link != TDemoLink::Usb) return bus;
    SimulatedUsbMeter& meter = bus->AddMeter();
    const TDemoDay day = MakeDemoDay();
    for (const TReading& r : day.singles)
        AddUsbReplies(meter.singles, r.kind, r.band, r.rejection, r.second, r.mvalue, r.evalue);
    for (std::size_t i = 0; i < day.monitoring.size(); ++i)
        AddUsbReplies(meter.monitors, kKindSvtMagnetic, kBandLow, false,
                      kMonitorStart + static_cast<int>(i) * kMonitorInterval, day.monitoring[i], kAbsentValue);
    return bus;
}

}  // namespace

std::optional<TDemoLink> ParseDemoOption(std::string_view argument) {
    constexpr std::string_view kOption = "--demo";
    if (argument == kOption) return TDemoLink::Driver;
    if (argument.substr(0, kOption.size() + 1) != "--demo=") return std::nullopt;
    const std::string_view name = argument.substr(kOption.size() + 1);
    if (name == "driver") return TDemoLink::Driver;
    if (name == "usb") return TDemoLink::Usb;
    throw Exception("Неизвестный вид демонстрационного прибора: «" + std::string(name) + "» (допустимо: driver, usb)");
}

TMeasureDataP DemoMeasurements() {
    const TDemoDay day = MakeDemoDay();
    TMeasureDataP data;
    data.SetMethodBytes();

    // Numbered by device record: a 50 Hz pair is two of them and carries the number of its electric half.
    int number = 1;
    for (const TReading& r : day.singles) {
        TMeasureRecord record;
        record.kind = static_cast<std::uint8_t>(r.kind);
        record.time = DayTime(r.second);
        record.rejection = r.rejection ? 1 : 0;
        if (r.kind == kKind50Hz) ++number;
        record.number = number++;
        if (r.kind <= kKindSvtElectric) record.mvalue = record.evalue = kAbsentValue;
        if (r.kind != kKind50Hz) record.band = static_cast<std::uint8_t>(r.band);
        if (r.kind == kKind50Hz || Magnetic(r.kind)) record.mvalue = r.mvalue;
        if (r.kind == kKind50Hz || !Magnetic(r.kind)) record.evalue = r.evalue;
        data(kMethodSingle, r.kind).Records.push_back(record);
    }

    const TDateTime start = DayTime(kMonitorStart);
    auto& run = data(kMethodMonitoring, kKindSvtMagnetic).Records;
    for (std::size_t i = 0; i < day.monitoring.size(); ++i) {
        TMeasureRecord record;
        record.kind = kKindSvtMagnetic;
        // Each time from the start, as the download computes it.
        record.time = start + static_cast<double>(i) * kMonitorInterval / kSecondsPerDay;
        record.mvalue = day.monitoring[i];
        record.evalue = kAbsentValue;
        run.push_back(record);
    }
    return data;
}

TPassport DemoPassport() {
    TPassport passport;
    passport.serialNumber = 21457;
    passport.powerOnCount = 612;
    passport.runningCounter = 1873 * 3600 * 256 / 300;  // 1873 hours
    passport.firmwareVersion = 2 << 16 | 3;
    passport.calibration = MeterTimeFields(EncodeDateTime(2025, 9, 24, 11, 0, 0, 0));
    return passport;
}

std::vector<std::uint8_t> DemoMemoryImage() {
    std::vector<std::uint8_t> image = BuildImage(DemoMeasurements());
    // The passport area as the builder writes it.
    TImageBuilder passport;
    passport.SetPassport(DemoPassport());
    constexpr int kPassportEnd = kCalibrationDateOffset + 6;
    std::copy(passport.Image().begin() + kSerialNumberOffset, passport.Image().begin() + kPassportEnd,
              image.begin() + kSerialNumberOffset);
    return image;
}

TDemoMeter::TDemoMeter(TDemoLink link) : link_(link), driver_(DemoDriverBackend(link)), bus_(DemoUsbBus(link)) {}

TDemoMeter::~TDemoMeter() = default;

}  // namespace zorvex
