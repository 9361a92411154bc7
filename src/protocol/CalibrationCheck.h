#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "model/MeasureModel.h"
#include "storage/DownloadStore.h"

namespace zorvex {

// The calibration a meter had when it took some of the measurements of a
// protocol: one entry per meter and calibration in force.
struct TMeterCalibration {
    std::optional<std::int32_t> serialNumber;
    // The latest calibration of the meter on or before the measurements' day,
    // as its downloads recorded it; unknown when none recorded one that early.
    std::optional<TDateTime> calibrationDate;
    TDateTime latestMeasurement = 0;  // the latest of those measurements

    // More than a year old on the day of the latest measurement.
    bool Expired() const;
    bool operator==(const TMeterCalibration&) const = default;
};

// A calibration made on `calibration` is out of date on `measured` from the
// day after its anniversary: the anniversary itself still counts (29 February
// ends on 28 February). Times of day do not count.
bool CalibrationExpired(TDateTime calibration, TDateTime measured);

// A measurement and the downloads that brought it.
struct TMeasurementOrigin {
    TDateTime time = 0;
    std::vector<TDownloadRow> downloads;
};

// The calibration state of the meters that took `measurements`. The
// calibration in force for a measurement is the latest one, not after its
// day, that any download of the same serial number in `history` recorded: a
// meter calibrated anew after the measurement still had its older
// calibration then. A download without a serial number speaks only for its
// own measurements. Measurements without a download give nothing. Ordered by
// serial number (unknown first), then calibration date (unknown first).
std::vector<TMeterCalibration> MeterCalibrations(const std::vector<TMeasurementOrigin>& measurements,
                                                 const std::vector<TDownloadRow>& history);

// The same for the single measurements of `measurements` (those a protocol
// is made of), looked up in the program's database by their ids. Only call
// it for records whose ids are rows of that database.
std::vector<TMeterCalibration> StoredMeterCalibrations(const TMeasureDataP& measurements);

// One line for the protocol editor, e.g. "Прибор № 1207: поверка от 31.12.2009".
std::string CalibrationStateText(const TMeterCalibration& calibration);

// The question asked before a protocol is stored, one sentence per out-of-date
// calibration and "Продолжить?"; empty when none is out of date.
std::string CalibrationQuestion(const std::vector<TMeterCalibration>& calibrations);

}  // namespace zorvex
