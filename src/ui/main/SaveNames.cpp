#include "ui/main/SaveNames.h"

#include <algorithm>
#include <optional>

#include "base/DateTime.h"
#include "ui/main/Mainform.h"

namespace zorvex {
namespace {

// The first and the last time of the records seen.
class DaySpan {
public:
    void Add(std::span<const TMeasureRecord> records) {
        for (const TMeasureRecord& r : records) {
            first_ = first_ ? std::min(*first_, r.time) : r.time;
            last_ = last_ ? std::max(*last_, r.time) : r.time;
        }
    }
    // "17.03.2026" or "17.03.2026-18.03.2026"; "" when no record was seen.
    std::string Text() const {
        if (!first_) return {};
        const std::string from = DateToStr(*first_);
        const std::string to = DateToStr(*last_);
        return from == to ? from : from + "-" + to;
    }

private:
    std::optional<TDateTime> first_, last_;
};

std::string Joined(std::string head, const std::string& tail) {
    if (!tail.empty()) head += " " + tail;
    return head;
}

std::string RunStartText(TDateTime start) {
    return DateToStr(start) + " " + TimeToStr(start);
}

}  // namespace

std::string MeasurementFileName(const TMeasureDataP& data) {
    DaySpan days;
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind) days.Add(data(method, kind).Records);
    return Joined("Измерения", days.Text());
}

std::string TableFileName(int mode, int kind, std::span<const TMeasureRecord> shown) {
    if (mode == kMethodMonitoring) {
        const std::string head = std::string("Мониторинг ") + KindCaption(kind);
        return shown.empty() ? head : Joined(head, RunStartText(shown.front().time));
    }
    DaySpan days;
    days.Add(shown);
    return Joined(std::string("Однократные ") + KindCaption(kind), days.Text());
}

std::string GraphFileName(int kind, TDateTime runStart) {
    return std::string("График ") + KindCaption(kind) + " " + RunStartText(runStart);
}

}  // namespace zorvex
