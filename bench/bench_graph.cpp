// Redraws a monitoring run of a full meter memory (8,106 samples) in a
// 1000 x 600 graph, and sets it against the floor of the same run: a white
// fill plus the curve's segments drawn in one colour with the same pen, which
// any redraw must pay.
// Target: a redraw under 16 ms, so that the pointer read-out and resizing stay fluid.
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

void Report(const char* name, int kind, double ripple) {
    const std::vector<TMeasureRecord> records = Run(kind, ripple);
    TGraphInput input;
    input.Records = &records;
    input.Kind = kind;
    input.FirstIndex = 0;
    input.LastIndex = kSamples - 1;
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
    QPoint at(36, 300 - static_cast<int>(records[0].mvalue) / 2);
    for (int i = 1; i < kSamples; ++i) {
        const QPoint to(36 + i * (kWidth - 54) / (kSamples - 1), 300 - static_cast<int>(records[i].mvalue) / 2);
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

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("Monitoring graph, %d samples, %d x %d, median of %d redraws (target < 16 ms)\n", kSamples, kWidth,
                kHeight, kRounds);
    Report("kind 1, a few exceedances", kKindSvtMagnetic, 0);
    Report("kind 1, crossing at most samples", kKindSvtMagnetic, 40);
    Report("kind 0, two panels", kKind50Hz, 40);
    return 0;
}
