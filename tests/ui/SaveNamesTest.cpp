#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "ui/main/SaveNames.h"

namespace zorvex::test {
namespace {

TMeasureRecord At(int day, int hour) {
    TMeasureRecord r;
    r.time = EncodeDateTime(2026, 3, day, hour, 5, 9, 0);
    return r;
}

TEST(SaveNames, NameTheDaysOrTheRunOfWhatIsSaved) {
    TMeasureDataP oneDay;
    oneDay(kMethodSingle, kKindMagnetic).Records = {At(17, 9), At(17, 15)};
    TMeasureDataP spread;  // lists out of time order, and both methods
    spread(kMethodSingle, kKind50Hz).Records = {At(18, 9), At(16, 9)};
    spread(kMethodMonitoring, kKindElectric).Records = {At(20, 10)};
    const struct {
        const char* name;
        std::string got, expected;
    } cases[] = {
        {"nothing", MeasurementFileName(TMeasureDataP()), "Измерения"},
        {"one day", MeasurementFileName(oneDay), "Измерения 17.03.2026"},
        {"first to last day", MeasurementFileName(spread), "Измерения 16.03.2026-20.03.2026"},
        {"singles of a kind", TableFileName(kMethodSingle, kKind50Hz, spread(kMethodSingle, kKind50Hz).Records),
         "Однократные 50Гц 16.03.2026-18.03.2026"},
        {"no singles", TableFileName(kMethodSingle, kKindSvtElectric, {}), "Однократные СВТ - Электрическое поле"},
        {"a run", TableFileName(kMethodMonitoring, kKindElectric, spread(kMethodMonitoring, kKindElectric).Records),
         "Мониторинг Электрическое поле 20.03.2026 10:05:09"},
        {"no run", TableFileName(kMethodMonitoring, kKind50Hz, {}), "Мониторинг 50Гц"},
        {"graph", GraphFileName(kKindSvtMagnetic, At(17, 8).time), "График СВТ - Магнитное поле 17.03.2026 08:05:09"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
}

}  // namespace
}  // namespace zorvex::test
