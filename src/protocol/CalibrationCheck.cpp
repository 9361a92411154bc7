#include "protocol/CalibrationCheck.h"

#include <algorithm>
#include <map>
#include <utility>

namespace zorvex {

namespace {

std::string MeterName(const std::optional<std::int32_t>& serialNumber) {
    return serialNumber ? "№ " + std::to_string(*serialNumber) : std::string("(номер не записан)");
}

}  // namespace

bool CalibrationExpired(TDateTime calibration, TDateTime measured) {
    return DateOf(measured) > IncMonth(DateOf(calibration), 12);
}

bool TMeterCalibration::Expired() const {
    return calibrationDate && CalibrationExpired(*calibrationDate, latestMeasurement);
}

std::vector<TMeterCalibration> MeterCalibrations(const std::vector<TMeasurementOrigin>& measurements,
                                                 const std::vector<TDownloadRow>& history) {
    std::map<std::int32_t, std::vector<TDateTime>> calibrationsOfSerial;
    for (const TDownloadRow& download : history)
        if (download.serialNumber && download.calibrationDate)
            calibrationsOfSerial[*download.serialNumber].push_back(DateOf(*download.calibrationDate));

    using Key = std::pair<std::optional<std::int32_t>, std::optional<TDateTime>>;
    std::map<Key, TDateTime> latest;
    for (const TMeasurementOrigin& measurement : measurements) {
        const TDateTime day = DateOf(measurement.time);
        // Per meter that gave this measurement: the calibration in force on its day.
        std::map<std::optional<std::int32_t>, std::optional<TDateTime>> inForce;
        for (const TDownloadRow& download : measurement.downloads) {
            std::optional<TDateTime>& best = inForce[download.serialNumber];
            const auto consider = [&](TDateTime calibration) {
                const TDateTime calibrationDay = DateOf(calibration);
                if (calibrationDay <= day && (!best || calibrationDay > *best)) best = calibrationDay;
            };
            if (download.calibrationDate) consider(*download.calibrationDate);
            if (download.serialNumber) {
                const auto known = calibrationsOfSerial.find(*download.serialNumber);
                if (known != calibrationsOfSerial.end())
                    for (const TDateTime calibration : known->second) consider(calibration);
            }
        }
        for (const auto& [serialNumber, calibration] : inForce) {
            const auto [entry, inserted] = latest.try_emplace(Key(serialNumber, calibration), measurement.time);
            if (!inserted) entry->second = std::max(entry->second, measurement.time);
        }
    }

    std::vector<TMeterCalibration> result;
    result.reserve(latest.size());
    for (const auto& [key, time] : latest) result.push_back({key.first, key.second, time});
    return result;
}

std::vector<TMeterCalibration> StoredMeterCalibrations(const TMeasureDataP& measurements) {
    std::map<std::int32_t, TDateTime> timeOfId;
    for (int kind = 0; kind < kKindCount; ++kind)
        for (const TMeasureRecord& record : measurements(kMethodSingle, kind).Records)
            if (record.id > 0) timeOfId.emplace(record.id, record.time);
    if (timeOfId.empty()) return {};

    std::vector<std::int32_t> ids;
    ids.reserve(timeOfId.size());
    for (const auto& entry : timeOfId) ids.push_back(entry.first);
    const auto downloadsOfId = DownloadIdsOfMeasurements(ids);
    // Older data and test data came from no recorded download.
    if (downloadsOfId.empty()) return {};

    const std::vector<TDownloadRow> history = ListDownloads();
    std::map<std::int64_t, const TDownloadRow*> byId;
    for (const TDownloadRow& row : history) byId.emplace(row.id, &row);
    std::vector<TMeasurementOrigin> origins;
    origins.reserve(timeOfId.size());
    for (const auto& [id, time] : timeOfId) {
        TMeasurementOrigin origin{time, {}};
        if (const auto found = downloadsOfId.find(id); found != downloadsOfId.end())
            for (const std::int64_t download : found->second)
                if (const auto row = byId.find(download); row != byId.end()) origin.downloads.push_back(*row->second);
        origins.push_back(std::move(origin));
    }
    return MeterCalibrations(origins, history);
}

std::string CalibrationStateText(const TMeterCalibration& calibration) {
    const std::string meter = MeterName(calibration.serialNumber);
    if (!calibration.calibrationDate) return "Прибор " + meter + ": дата поверки не записана";
    const std::string date = DateToStr(*calibration.calibrationDate);
    if (calibration.Expired()) {
        return "Поверка прибора " + meter + " от " + date + " старше года на дату измерений " +
               DateToStr(calibration.latestMeasurement);
    }
    return "Прибор " + meter + ": поверка от " + date;
}

std::string CalibrationQuestion(const std::vector<TMeterCalibration>& calibrations) {
    std::vector<std::string> sentences;
    for (const TMeterCalibration& calibration : calibrations)
        if (calibration.Expired()) sentences.push_back(CalibrationStateText(calibration) + ".");
    if (sentences.empty()) return {};
    // One problem reads as one sentence; several stand one to a line.
    const std::string separator = sentences.size() == 1 ? " " : "\n";
    std::string question;
    for (const std::string& sentence : sentences) question += sentence + separator;
    return question + "Продолжить?";
}

}  // namespace zorvex
