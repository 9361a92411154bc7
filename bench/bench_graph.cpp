// Redraws a monitoring run of a full meter memory (8,106 samples) in a
// 1000 x 600 graph, whole and zoomed to 1,000 of its samples, and sets it
// against the floor of the same range: a white fill plus the curve's segments
// drawn in one colour with the same pen, which any redraw must pay.
// Then the statistics of the whole run (what every zoom step recomputes)
// against their floor: one pass over the values and the selections that a
// median interval and a percentile cannot do without.
// Target: a redraw under 16 ms, so that the pointer read-out, zooming and
// resizing stay fluid.
#include <QApplication>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <QPixmap>
#include <QVector>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "base/DateTime.h"
#include "model/RunStatistics.h"
#include "ui/graph/MonitoringGraph.h"

using namespace zorvex;

namespace {

constexpr int kSamples = 8106;
constexpr int kWidth = 1000;
constexpr int kHeight = 600;
constexpr int kRounds = 200;

// A slow wave around the limit plus a fast ripple: `crossingsEvery` sets how
// often the curve changes colour.
std::vector<TMeasureRecord> Run(int kind, double ripple) {
    std::vector<TMeasureRecord> records(kSamples);
    const TDateTime start = EncodeDateTime(2024, 3, 5, 8, 0, 0, 0);
    for (int i = 0; i < kSamples; ++i) {
        TMeasureRecord& r = records[i];
        r.kind = static_cast<std::uint8_t>(kind);
        r.time = start + i * 10 / 86400.0;
        r.mvalue = 220 + 60 * std::sin(i / 300.0) + ripple * std::sin(i * 1.7);
        r.evalue = 22 + 6 * std::sin(i / 250.0) + ripple / 10 * std::sin(i * 1.3);
    }
    return records;
}

// Median milliseconds of `rounds` calls.
double Median(const std::function<void()>& work, int rounds = kRounds) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::nth_element(ms.begin(), ms.begin() + rounds / 2, ms.end());
    return ms[rounds / 2];
}

// Redraws records first..last of the run.
void Report(const char* name, int kind, double ripple, int first = 0, int last = kSamples - 1) {
    const std::vector<TMeasureRecord> records = Run(kind, ripple);
    TGraphInput input;
    input.Records = &records;
    input.Kind = kind;
    input.FirstIndex = first;
    input.LastIndex = last;
    input.Limits = {250, 25};

    QImage picture;
    const double draw = Median([&] { DrawGraph(picture, kWidth, kHeight, input); });
    QPixmap shown;
    const double handover = Median([&] {
        DrawGraph(picture, kWidth, kHeight, input);
        shown = QPixmap::fromImage(picture);
    });

    QImage floorPicture(kWidth, kHeight, QImage::Format_RGB32);
    QVector<QLine> curve;
    const int shownCount = last - first + 1;
    QPoint at(36, 300 - static_cast<int>(records[first].mvalue) / 2);
    for (int i = first + 1; i <= last; ++i) {
        const QPoint to(36 + (i - first) * (kWidth - 54) / (shownCount - 1),
                        300 - static_cast<int>(records[i].mvalue) / 2);
        curve.append(QLine(at, to));
        at = to;
    }
    const double floor = Median([&] {
        floorPicture.fill(Qt::white);
        QPainter canvas(&floorPicture);
        canvas.setPen(QPen(QColor(0, 0, 255), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        canvas.drawLines(curve);
    });
    std::printf("%-34s redraw %6.2f ms  (+ pixmap %6.2f ms)  floor %6.2f ms  ratio %.2f\n", name, draw, handover, floor,
                draw / floor);
}

// Keeps a result alive so that the optimiser cannot drop the work behind it.
volatile double kept = 0;
void Keep(double value) {
    kept = value;
}

// The figures of both curves of a 50 Hz run of a full memory, as the
// statistics strip computes them for the whole run.
void ReportStatistics() {
    const std::vector<TMeasureRecord> records = Run(kKind50Hz, 40);
    const int last = kSamples - 1;
    const std::optional<double> levels[2] = {250.0, 25.0};
    const double figures = Median([&] {
        const std::int64_t interval = RunIntervalMs(records, 0, last);
        for (const TRunStatistics& s : ComputeKindStatistics(records, 0, last, kKind50Hz, levels, interval))
            Keep(s.Percentile95 + s.Mean);
    });
    const double floor = Median([&] {
        std::vector<double> gaps;
        gaps.reserve(kSamples);
        for (int i = 1; i <= last; ++i) gaps.push_back(records[i].time - records[i - 1].time);
        std::nth_element(gaps.begin(), gaps.begin() + last / 2, gaps.end());
        Keep(gaps[last / 2]);
        for (const int curve : {0, 1}) {
            std::vector<double> values;
            values.reserve(kSamples);
            double sum = 0;
            for (const TMeasureRecord& r : records) {
                const double v = curve == 0 ? r.mvalue : r.evalue;
                sum += v;
                values.push_back(v);
            }
            const auto at = values.begin() + (95 * kSamples + 99) / 100 - 1;
            std::nth_element(values.begin(), at, values.end());
            Keep(*at + sum);
        }
    });
    std::printf("%-34s figures %6.3f ms  floor %6.3f ms  ratio %.2f\n", "statistics, kind 0, whole run", figures, floor,
                figures / floor);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("Monitoring graph, %d samples, %d x %d, median of %d redraws (target < 16 ms)\n", kSamples, kWidth,
                kHeight, kRounds);
    Report("kind 1, a few exceedances", kKindSvtMagnetic, 0);
    Report("kind 1, crossing at most samples", kKindSvtMagnetic, 40);
    Report("kind 0, two panels", kKind50Hz, 40);
    Report("kind 1, zoomed to 1,000 samples", kKindSvtMagnetic, 40, 3000, 3999);
    Report("kind 0, zoomed to 1,000 samples", kKind50Hz, 40, 3000, 3999);
    ReportStatistics();
    return 0;
}
