#include "device/TestDataSource.h"

#include <cmath>
#include <cstdint>

#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/Prompts.h"

namespace zorvex {
namespace {

constexpr int kRecordsPerGroup = 6;
constexpr double kSingleSpread = 300;
constexpr double kMonitorSpread = 600;

// Asks for one number; Cancel keeps the default "0". Only the low byte counts.
struct Entry {
    int typed = 0;
    std::uint8_t byte = 0;
};
Entry AskByte(const char* prompt) {
    const std::string text = Prompts().InputText("", prompt, "0").value_or("0");
    const int typed = StrToInt(text);
    return {typed, static_cast<std::uint8_t>(typed)};
}

class RandomWalk {
public:
    explicit RandomWalk(double spread) : spread_(spread) {}

    double Step() const {
        const double r1 = RandomUnit();
        const double r2 = RandomUnit();
        return std::fabs((0.4 * r1 - 0.4 * r2) * spread_ + base_);
    }

    // Fills the four values; the magnetic one becomes the base of the next record.
    void Fill(TMeasureRecord& record) {
        record.mvalue = Step();
        record.evalue = Step();
        record.mvalue2 = Step();
        record.evalue2 = Step();
        base_ = record.mvalue;
    }

private:
    const double spread_;
    double base_ = 0;
};

}  // namespace

void TTestDataSource::GetData(const std::string&, TMeasureDataP& Data) {
    const std::uint8_t method = AskByte("Method").byte;
    const Entry kindEntry = AskByte("Kind");
    const std::uint8_t kind = kindEntry.byte;
    // The kind indexes the matrix: anything beyond it is refused before it is
    // used, naming the number typed rather than its low byte.
    if (kind >= kKindCount)
        throw Exception(Format("Недопустимый вид поля: %d (допустимо от 0 до %d)", {kindEntry.typed, kKindCount - 1}));
    const std::uint8_t band = AskByte("band").byte;
    const std::uint8_t rejection = AskByte("rejection").byte;

    const auto makeRecord = [&](RandomWalk& walk, std::uint8_t recordKind, std::int32_t number, TDateTime time) {
        TMeasureRecord record;
        record.kind = recordKind;
        record.number = number;
        record.time = time;
        walk.Fill(record);
        record.band = band;
        record.rejection = rejection;
        return record;
    };

    if (method == kMethodSingle) {
        RandomWalk walk(kSingleSpread);
        TMeasureSeries& series = Data(kMethodSingle, kind);
        series.method = kMethodSingle;
        series.Records.clear();
        for (int n = 1; n <= kRecordsPerGroup; ++n) series.Records.push_back(makeRecord(walk, kind, n, Now()));
        // A second group always lands among the magnetic computer-workplace records.
        TMeasureSeries& extra = Data(kMethodSingle, kKindSvtMagnetic);
        extra.method = kMethodSingle;
        for (int n = kRecordsPerGroup + 1; n <= 2 * kRecordsPerGroup; ++n)
            extra.Records.push_back(makeRecord(walk, kKindSvtMagnetic, n, Now()));
    } else {
        RandomWalk walk(kMonitorSpread);
        TMeasureSeries& series = Data(kMethodMonitoring, kind);
        series.method = kMethodMonitoring;
        series.Records.clear();
        const TDateTime time = Now();
        for (int n = 1; n <= kRecordsPerGroup; ++n) series.Records.push_back(makeRecord(walk, kind, n, time));
    }
}

}  // namespace zorvex
