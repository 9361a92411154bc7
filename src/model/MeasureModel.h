#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorvex {

// Measuring methods: the first index of the matrix.
inline constexpr int kMethodSingle = 0;      // "Однократные измерения"
inline constexpr int kMethodMonitoring = 1;  // "Данные мониторинга"
inline constexpr int kMethodCount = 2;

// Kinds of field: the second index of the matrix and the main window's tab.
inline constexpr int kKind50Hz = 0;        // magnetic and electric, 50 Hz
inline constexpr int kKindSvtMagnetic = 1;  // computer workplaces, magnetic, in a band
inline constexpr int kKindSvtElectric = 2;  // computer workplaces, electric, in a band
inline constexpr int kKindMagnetic = 3;     // general magnetic, in a band
inline constexpr int kKindElectric = 4;     // general electric, in a band
inline constexpr int kKindCount = 5;

// Value fields a record of each kind carries.
inline constexpr std::array<int, kKindCount> kValueCountOfKind = {2, 1, 1, 1, 1};

// Band codes.
inline constexpr int kBandLow = 0;   // 5 Hz - 2 kHz
inline constexpr int kBandHigh = 1;  // 2 kHz - 400 kHz
inline constexpr int kBandMid = 2;   // 10 kHz - 30 kHz

// Marks a value that was not measured; any negative value counts as absent.
inline constexpr double kAbsentValue = -1.0;

// One measurement. A plain value: copied bytewise, owns nothing.
struct TMeasureRecord {
    std::int32_t id = 0;  // row id in `measurements`; 0 until stored
    std::uint8_t kind = 0;
    std::int32_t number = 0;
    std::int32_t workplace = 0;
    std::int32_t height = 0;  // half-metre steps
    double time = 0;          // TDateTime
    double mvalue = 0;        // nT
    double evalue = 0;        // V/m
    double mvalue2 = 0;
    double evalue2 = 0;
    std::uint8_t band = 0;
    std::uint8_t rejection = 0;

    bool operator==(const TMeasureRecord&) const = default;
};

struct TMeasureSeries {
    std::uint8_t method = 0;
    std::vector<TMeasureRecord> Records;

    bool operator==(const TMeasureSeries&) const = default;
};

// Ten series indexed [method][kind]. A value type: assigning or passing it by
// value copies every series with its records.
struct TMeasureDataP {
    std::array<std::array<TMeasureSeries, kKindCount>, kMethodCount> series{};

    TMeasureSeries& operator()(int method, int kind) { return series[method][kind]; }
    const TMeasureSeries& operator()(int method, int kind) const { return series[method][kind]; }

    std::size_t TotalRecords() const;
    bool IsEmpty() const { return TotalRecords() == 0; }
    // Sets the method byte of every series to its method index.
    void SetMethodBytes();

    bool operator==(const TMeasureDataP&) const = default;
};

// The measured quantities that have a permissible level, in level-table order.
enum TMeasureSubfield : int {
    msfNone = 0,
    msfMFLB,    // magnetic, 5 Hz - 2 kHz
    msfMFHB,    // magnetic, 2 kHz - 400 kHz
    msfEFLB,    // electric, 5 Hz - 2 kHz
    msfEFHB,    // electric, 2 kHz - 400 kHz
    msfMF50hz,  // magnetic, 50 Hz
    msfEF50hz,  // electric, 50 Hz
};
inline constexpr int kSubfieldCount = 7;

struct TMDProgress {
    std::int32_t Percent = 0;
    std::int32_t Singles = 0;
    std::int32_t Monitors = 0;
    std::int32_t Tag = 0;
};

// Returns true to let the source go on, false to ask it to stop.
using TMDProgressEvent = std::function<bool(TMDProgress&)>;

// Every source of matrices.
class TMDSource {
public:
    virtual ~TMDSource() = default;

    TMDProgressEvent OnProgress;  // may be unset
    std::int32_t Tag = 0;

    virtual void GetData(const std::string& Param, TMeasureDataP& Data) = 0;

protected:
    // Calls OnProgress when set, with this source's Tag; true when it is unset.
    bool ReportProgress(TMDProgress& progress);
};

// A source that can also store a matrix.
class TMDAdapter : public TMDSource {
public:
    virtual void PutData(TMeasureDataP& Data, const std::string& Param) = 0;
};

}  // namespace zorvex
