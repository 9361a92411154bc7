#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "protocol/CalibrationCheck.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/SQLiteDatabase.h"
#include "support/TempDir.h"

using namespace zorvex;

namespace {

TDateTime Day(int year, int month, int day, int hour = 0) {
    return EncodeDateTime(year, month, day, hour, 0, 0, 0);
}

TDownloadRow Download(std::int64_t id, std::optional<std::int32_t> serial, std::optional<TDateTime> calibration) {
    TDownloadRow row;
    row.id = id;
    row.link = kLinkDriver;
    row.serialNumber = serial;
    row.calibrationDate = calibration;
    return row;
}

TMeterCalibration Meter(std::optional<std::int32_t> serial, std::optional<TDateTime> calibration, TDateTime latest) {
    return {serial, calibration, latest};
}

}  // namespace

TEST(CalibrationCheck, ACalibrationLastsOneCalendarYearToTheDay) {
    const struct {
        const char* name;
        TDateTime calibration, measured;
        bool expired;
    } cases[] = {
        {"11 months", Day(2023, 3, 5), Day(2024, 2, 5), false},
        {"the anniversary, late in the day", Day(2023, 3, 5, 8), Day(2024, 3, 5, 23), false},
        {"the day after the anniversary", Day(2023, 3, 5, 23), Day(2024, 3, 6, 1), true},
        {"13 months", Day(2023, 3, 5), Day(2024, 4, 5), true},
        {"29 February: the year ends on 28 February", Day(2024, 2, 29), Day(2025, 2, 28), false},
        {"29 February: 1 March is past it", Day(2024, 2, 29), Day(2025, 3, 1), true},
        {"measured before the calibration", Day(2024, 3, 5), Day(2023, 1, 1), false},
    };
    for (const auto& c : cases) EXPECT_EQ(CalibrationExpired(c.calibration, c.measured), c.expired) << c.name;
}

TEST(CalibrationCheck, EachMeasurementIsJudgedByTheCalibrationItsMeterHadThatDay) {
    const TDownloadRow before = Download(1, 1207, Day(2022, 1, 10));
    const TDownloadRow after = Download(2, 1207, Day(2023, 2, 1));  // calibrated anew in between
    const TDownloadRow anonymous = Download(3, std::nullopt, Day(2021, 1, 1));
    // A later calibration of another meter without serial number says nothing of the first.
    const TDownloadRow otherAnonymous = Download(4, std::nullopt, Day(2022, 5, 1));
    const TDownloadRow noPassport = Download(5, 5, std::nullopt);
    const std::vector<TDownloadRow> history = {before, after, anonymous, otherAnonymous, noPassport};

    const std::vector<TMeasurementOrigin> measurements = {
        {Day(2023, 1, 5, 9), {after}},    // taken under the calibration of 2022, downloaded after the new one
        {Day(2023, 1, 20, 9), {after}},   // the same, later: the date reported
        {Day(2023, 3, 1, 9), {after}},    // under the new calibration
        {Day(2022, 6, 1, 9), {anonymous}},
        {Day(2023, 5, 5, 9), {noPassport}},
        {Day(2024, 1, 1, 9), {}},         // no recorded download: older data
        {Day(2021, 12, 1, 9), {before}},  // before any calibration on record
    };
    const std::vector<TMeterCalibration> expected = {
        Meter(std::nullopt, Day(2021, 1, 1), Day(2022, 6, 1, 9)),
        Meter(5, std::nullopt, Day(2023, 5, 5, 9)),
        Meter(1207, std::nullopt, Day(2021, 12, 1, 9)),
        Meter(1207, Day(2022, 1, 10), Day(2023, 1, 20, 9)),
        Meter(1207, Day(2023, 2, 1), Day(2023, 3, 1, 9)),
    };
    const std::vector<TMeterCalibration> found = MeterCalibrations(measurements, history);
    EXPECT_EQ(found, expected);
    std::vector<bool> expired;
    for (const auto& meter : found) expired.push_back(meter.Expired());
    EXPECT_EQ(expired, (std::vector<bool>{true, false, false, true, false}));
}

TEST(CalibrationCheck, TheQuestionNamesEachOutOfDateCalibration) {
    const TMeterCalibration old = Meter(1207, Day(2023, 3, 5), Day(2024, 4, 5, 10));
    const TMeterCalibration anonymousOld = Meter(std::nullopt, Day(2020, 1, 2), Day(2022, 6, 1));
    const TMeterCalibration current = Meter(1207, Day(2024, 3, 10), Day(2024, 4, 5));
    const TMeterCalibration unknown = Meter(33, std::nullopt, Day(2024, 4, 5));
    const struct {
        const char* name;
        std::vector<TMeterCalibration> calibrations;
        std::string question;
    } cases[] = {
        {"none out of date", {current, unknown}, ""},
        {"one",
         {old, current, unknown},
         "Поверка прибора № 1207 от 05.03.2023 старше года на дату измерений 05.04.2024. Продолжить?"},
        {"two, one of a meter without serial number",
         {anonymousOld, old},
         "Поверка прибора (номер не записан) от 02.01.2020 старше года на дату измерений 01.06.2022.\n"
         "Поверка прибора № 1207 от 05.03.2023 старше года на дату измерений 05.04.2024.\n"
         "Продолжить?"},
    };
    for (const auto& c : cases) EXPECT_EQ(CalibrationQuestion(c.calibrations), c.question) << c.name;

    EXPECT_EQ(CalibrationStateText(current), "Прибор № 1207: поверка от 10.03.2024");
    EXPECT_EQ(CalibrationStateText(unknown), "Прибор № 33: дата поверки не записана");
}

TEST(CalibrationCheck, TheDatabaseTellsWhichDownloadsTheSingleMeasurementsCameFrom) {
    test::TempDir dir;
    SetMainDatabase(OpenDatabase(dir.File("data.db")));
    const auto single = [](TDateTime time, double value) {
        TMeasureRecord r;
        r.kind = kKindMagnetic;
        r.time = time;
        r.mvalue = value;
        r.evalue = kAbsentValue;
        return r;
    };
    TMeasureDataP downloaded;
    downloaded.SetMethodBytes();
    downloaded(kMethodSingle, kKindMagnetic).Records = {single(Day(2024, 4, 5, 9), 10), single(Day(2024, 4, 6, 9), 20)};
    // A monitoring run does not go into a protocol: its later date does not count.
    downloaded(kMethodMonitoring, kKindMagnetic).Records = {single(Day(2024, 9, 1, 9), 5)};
    TDownloadInfo info;
    info.time = Day(2024, 4, 7, 12);
    info.link = kLinkUsb;
    info.serialNumber = 1207;
    info.calibrationDate = Day(2023, 3, 5);
    StoreDownload(downloaded, info);

    TMeasureDataP trial;  // stored by the plain path: no download
    trial.SetMethodBytes();
    trial(kMethodSingle, kKindMagnetic).Records = {single(Day(2024, 10, 1, 9), 30)};
    TDBDataAdapter().PutData(trial, "");

    TMeasureDataP onView = downloaded;
    auto& singles = onView(kMethodSingle, kKindMagnetic).Records;
    singles.push_back(trial(kMethodSingle, kKindMagnetic).Records[0]);
    singles.push_back(single(Day(2024, 11, 1, 9), 40));  // not stored: id 0
    EXPECT_EQ(StoredMeterCalibrations(onView),
              (std::vector<TMeterCalibration>{Meter(1207, Day(2023, 3, 5), Day(2024, 4, 6, 9))}));
    EXPECT_TRUE(StoredMeterCalibrations(trial).empty());
    SetMainDatabase(nullptr);
}
