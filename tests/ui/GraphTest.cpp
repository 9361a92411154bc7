#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <vector>

#include "base/DateTime.h"
#include "ui/graph/MonitoringGraph.h"
#include "ui/graph/MonitoringRuns.h"

using namespace zorvex;

namespace {

const QColor kBlueCurve(0, 0, 255);
const QColor kMagenta(255, 0, 255);
const QColor kGreenCurve(0, 128, 0);
const QColor kGrey(128, 128, 128);

std::vector<TMeasureRecord> Samples(int kind, const std::vector<double>& m, const std::vector<double>& e = {}) {
    std::vector<TMeasureRecord> records;
    const TDateTime start = EncodeDateTime(2024, 3, 5, 10, 0, 0, 0);
    for (std::size_t i = 0; i < m.size(); ++i) {
        TMeasureRecord r;
        r.kind = static_cast<std::uint8_t>(kind);
        r.time = start + static_cast<double>(i) * 10 / 86400.0;
        r.mvalue = m[i];
        r.evalue = i < e.size() ? e[i] : -1;
        records.push_back(r);
    }
    return records;
}

TGraphInput Input(const std::vector<TMeasureRecord>& records, int kind, double limitM, double limitE = 0) {
    TGraphInput input;
    input.Records = &records;
    input.Kind = kind;
    input.FirstIndex = 0;
    input.LastIndex = static_cast<int>(records.size()) - 1;
    input.Limits = {limitM, limitE};
    return input;
}

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// A line two pixels wide lies on the computed point or one pixel beside it.
bool Near(const QImage& image, int x, int y, const QColor& colour) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.valid(x + dx, y + dy) && image.pixelColor(x + dx, y + dy) == colour) return true;
    return false;
}

int CountColour(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour) ++n;
    return n;
}

// One panel of kind 1, 600 x 300: twenty samples, 200 nT for 0..9 and 300 nT
// from 10 on, against a limit of 250 nT.
class GraphGeometry : public ::testing::Test {
protected:
    static constexpr int W = 600, H = 300;
    static constexpr int A = H - 24;  // time axis
    static constexpr int plot = (H - 1) - 16;
    std::vector<double> values = std::vector<double>(20, 200.0);
    std::vector<TMeasureRecord> records;
    QImage image;
    double k = 0;
    int axis = 0;  // the value axis

    void SetUp() override {
        ASSERT_NE(QApplication::instance(), nullptr);
        for (int i = 10; i < 20; ++i) values[i] = 300;
        records = Samples(kKindSvtMagnetic, values);
        axis = DrawGraph(image, W, H, Input(records, kKindSvtMagnetic, 250));
        k = -plot / (300 * 1.2 + 0.00001);
    }
    int Y(double v) const { return RoundEven(A + k * v); }
    int X(int i) const { return RoundEven(i * (W - axis - 18) / 19.0 + axis); }
};

TEST_F(GraphGeometry, AxesLimitLineAndCurveColoursLieOnTheComputedPoints) {
    ASSERT_EQ(image.size(), QSize(W, H));
    // The zero line is the time axis; the value axis rises from it.
    EXPECT_EQ(At(image, 300 + 3, A), QColor(Qt::black));
    EXPECT_EQ(At(image, axis, A - 100), QColor(Qt::black));
    EXPECT_EQ(At(image, axis - 1, A - 100), QColor(Qt::white));
    // The dashed limit line in the warning colour, starting at the value axis.
    EXPECT_EQ(At(image, axis + 2, Y(250)), kMagenta);
    EXPECT_NE(At(image, axis + 2, Y(250) - 3), kMagenta);
    // Below the limit the curve is blue; after the crossing it is magenta.
    EXPECT_TRUE(Near(image, (X(3) + X(4)) / 2, Y(200), kBlueCurve));
    EXPECT_FALSE(Near(image, (X(3) + X(4)) / 2, Y(200), kMagenta));
    EXPECT_TRUE(Near(image, (X(12) + X(13)) / 2, Y(300), kMagenta));
    EXPECT_FALSE(Near(image, (X(12) + X(13)) / 2, Y(300), kBlueCurve));
    // The segment 200 -> 300 crosses 250 in its middle: blue in its first quarter, magenta in its last.
    const auto along = [&](double f) {
        return QPoint(RoundEven(X(9) + (X(10) - X(9)) * f), RoundEven(Y(200) + (Y(300) - Y(200)) * f));
    };
    EXPECT_TRUE(Near(image, along(0.25).x(), along(0.25).y(), kBlueCurve));
    EXPECT_FALSE(Near(image, along(0.25).x(), along(0.25).y(), kMagenta));
    EXPECT_TRUE(Near(image, along(0.75).x(), along(0.75).y(), kMagenta));
    EXPECT_FALSE(Near(image, along(0.75).x(), along(0.75).y(), kBlueCurve));
}

TEST_F(GraphGeometry, InnerSamplesGetGreyLinesAndEveryFifthABlackOne) {
    // dx = plot width / 19 >= 8: grey lines for samples 1..18, black for 5, 10 and 15.
    const int y = A - 5;
    EXPECT_EQ(At(image, X(1), y), kGrey);
    EXPECT_EQ(At(image, X(18), y), kGrey);
    for (int i : {5, 10, 15}) EXPECT_EQ(At(image, X(i), y), QColor(Qt::black)) << i;
    EXPECT_EQ(At(image, (X(6) + X(7)) / 2, y), QColor(Qt::white));
}

TEST(Graph, Kind0DrawsTheMagneticCurveAboveAndTheElectricCurveBelow) {
    const int W = 400, H = 400;
    const auto records = Samples(kKind50Hz, std::vector<double>(6, 100.0), std::vector<double>(6, 10.0));
    QImage image;
    DrawGraph(image, W, H, Input(records, kKind50Hz, 5000, 500));
    const int plot = (H / 2 - 1) - 16;
    const int upperAxis = H / 2 - 24, lowerAxis = H - 24;
    EXPECT_EQ(At(image, 200, upperAxis), QColor(Qt::black));
    EXPECT_EQ(At(image, 200, lowerAxis), QColor(Qt::black));
    // Constant values stand at 1 / 1.2 of the plot height above their axis.
    const int yM = RoundEven(upperAxis - plot * 100 / (100 * 1.2 + 0.00001));
    const int yE = RoundEven(lowerAxis - plot * 10 / (10 * 1.2 + 0.00001));
    EXPECT_TRUE(Near(image, 201, yM, kBlueCurve));
    EXPECT_TRUE(Near(image, 201, yE, kGreenCurve));
    int blueBelow = 0, greenAbove = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (y >= H / 2 && At(image, x, y) == kBlueCurve) ++blueBelow;
            if (y < H / 2 && At(image, x, y) == kGreenCurve) ++greenAbove;
        }
    EXPECT_EQ(blueBelow, 0);
    EXPECT_EQ(greenAbove, 0);
    // Both limits lie above their scale's top, so no dashed line is drawn.
    EXPECT_EQ(CountColour(image, kMagenta), 0);
    EXPECT_EQ(CountColour(image, WarningColour(kGreenCurve)), 0);
}

TEST(Graph, ValueLabelsStandWholeLeftOfTheAxisWhateverTheirWidth) {
    struct Case {
        const char* name;
        int kind;
        double magnetic, electric;  // the run's largest values
        QString widestBelowLetter;  // the form of the widest label clear of the panel's letter (digits share one width)
    };
    const Case cases[] = {
        {"50 Hz magnetic field up to 5600 nT", kKind50Hz, 5600, 140, "0000.000"},
        {"workplace field up to 4000 nT", kKindSvtMagnetic, 4000, 0, "0000.000"},
        {"general field up to 123456 nT", kKindMagnetic, 123456, 0, "000000.000"},
    };
    const QFontMetrics metrics(GraphFont());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> m, e;
        for (int i = 0; i < 30; ++i) {
            const double wave = 0.5 + 0.5 * std::sin(i / 4.0);
            m.push_back(c.magnetic * wave);
            e.push_back(c.electric * wave);
        }
        const auto records = Samples(c.kind, m, e);
        QImage image;
        const int H = 400;
        const int axis = DrawGraph(image, 600, H, Input(records, c.kind, 1e9, 1e9));
        const int width = metrics.horizontalAdvance(c.widestBelowLetter);
        EXPECT_GE(axis, kGraphLabelMargin + width + kGraphLabelGap);
        // Below the letter H, the black (grey where smoothed) ink left of the axis
        // is the labels': it keeps a margin from the picture's edge and a gap to
        // the axis, and the widest spans its full width (drawn whole, not squeezed).
        const int panelBottom = c.kind == kKind50Hz ? H / 2 - 24 : H - 24;
        int left = axis, right = -1;
        for (int y = 2 + metrics.height() + 1; y < panelBottom; ++y) {
            for (int x = 0; x < axis; ++x) {
                const QColor ink = At(image, x, y);
                const bool neutral = ink.red() == ink.green() && ink.green() == ink.blue();
                if (ink == QColor(Qt::white) || !neutral)
                    continue;  // the curve's 2-pixel start reaches left of the axis
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        EXPECT_GE(left, kGraphLabelMargin - 1);
        EXPECT_LE(right, axis - kGraphLabelGap + 1);
        EXPECT_GE(right - left + 1, width - 3);
        // Both panels of kind 0 share the axis, so their samples line up.
        EXPECT_EQ(At(image, axis, H - 24 - 10), QColor(Qt::black));
    }
}

TEST(Graph, AbsentValuesOfASingleFieldRunStayInTheirPanel) {
    // A 50 Hz run of the electric field only: its magnetic values are -1.
    const auto records = Samples(kKind50Hz, std::vector<double>(6, -1.0), std::vector<double>(6, 10.0));
    QImage image;
    DrawGraph(image, 400, 400, Input(records, kKind50Hz, 5000, 500));
    EXPECT_EQ(CountColour(image, kBlueCurve), 0);
    EXPECT_GT(CountColour(image, kGreenCurve), 0);
}

TEST(Graph, ADenseRunKeepsItsFifthSampleLinesApart) {
    // 2000 samples on 546 pixels would put a fifth-sample line in every column.
    const auto records = Samples(kKindSvtMagnetic, std::vector<double>(2000, 10.0));
    QImage image;
    const int axis = DrawGraph(image, 600, 300, Input(records, kKindSvtMagnetic, 250));
    const int plotWidth = 600 - 18 - axis;
    int grey = 0;
    for (int x = axis + 1; x < 582; ++x)
        if (At(image, x, 300 - 24 - 5) == kGrey) ++grey;
    EXPECT_GT(grey, 40);
    EXPECT_LT(grey, plotWidth / 8 + 2);
}

TEST(Graph, ARunOfOneSampleShowsOnlyTheAxes) {
    const auto records = Samples(kKindSvtMagnetic, {400});
    QImage image;
    DrawGraph(image, 500, 300, Input(records, kKindSvtMagnetic, 250));
    EXPECT_EQ(At(image, 250, 300 - 24), QColor(Qt::black));
    EXPECT_EQ(CountColour(image, kBlueCurve), 0);
    EXPECT_EQ(CountColour(image, kMagenta), 0);
    EXPECT_EQ(CountColour(image, kGrey), 0);
}

TEST(Graph, APanelTooSmallStaysWhite) {
    struct Case {
        int kind, width, height;
    };
    const Case cases[] = {
        {kKindSvtMagnetic, 54, 300},  // no room for the plot's width
        {kKindSvtMagnetic, 300, 17},  // panel height 16
        {kKind50Hz, 300, 35},         // two panels of height 16
    };
    const auto records = Samples(kKind50Hz, {1, 2, 3}, {1, 2, 3});
    for (const Case& c : cases) {
        auto input = Input(records, c.kind, 250, 25);
        QImage image;
        DrawGraph(image, c.width, c.height, input);
        ASSERT_EQ(image.size(), QSize(c.width, c.height));
        EXPECT_EQ(CountColour(image, Qt::white), c.width * c.height) << c.width << "x" << c.height;
    }
    QImage none;
    DrawGraph(none, 0, 0, Input(records, kKind50Hz, 1, 1));
    EXPECT_TRUE(none.isNull());
}

TEST(Graph, APlotLowerThanOneLabelSlotStillDrawsItsCurve) {
    // Plot height 12 pixels: no label slot fits, one is used instead.
    const auto records = Samples(kKindSvtMagnetic, {1, 2, 3, 4});
    QImage image;
    DrawGraph(image, 300, 29, Input(records, kKindSvtMagnetic, 250));
    EXPECT_GT(CountColour(image, kBlueCurve), 0);
}

TEST(Graph, RoundUpStep) {
    struct Case {
        double x, step;
    };
    const Case cases[] = {{0.3, 0.5}, {0.7, 1},   {0.03, 0.05}, {0.001, 0.001}, {1, 1},   {3, 5},
                          {5, 5},     {7, 10},    {10, 10},     {12, 20},       {37, 40}, {95, 100},
                          {100, 100}, {250, 300}, {4001, 5000}, {9500, 10000}};
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(RoundUpStep(c.x), c.step) << c.x;
}

TEST(GraphRuns, GapsOfMoreThan240SecondsSplitTheList) {
    const auto at = [](int h, int n, int s) { return EncodeDateTime(2024, 3, 5, h, n, s, 0); };
    struct Case {
        std::vector<TDateTime> times;
        std::vector<std::pair<int, int>> runs;
        std::vector<int> bands = {};
        std::vector<int> rejections = {};
    };
    const Case cases[] = {
        {{at(10, 0, 0), at(10, 0, 10), at(10, 3, 30), at(10, 8, 30)}, {{0, 2}, {3, 3}}},
        {{at(10, 0, 0), at(10, 4, 0), at(10, 8, 1)}, {{0, 1}, {2, 2}}},  // 240 s joins, 241 s splits
        {{at(10, 0, 0), at(10, 0, 0) + 240.9 / 86400}, {{0, 1}}},        // fractions dropped
        {{at(10, 8, 1), at(10, 4, 0)}, {{0, 0}, {1, 1}}},                // the gap counts either way round
        {{}, {}},
        // Sessions in another band or filter setting, stored close together, stay apart.
        {{at(10, 0, 0), at(10, 0, 10), at(10, 0, 20), at(10, 0, 30)},
         {{0, 1}, {2, 2}, {3, 3}},
         {0, 0, 1, 1},
         {0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        std::vector<TMeasureRecord> records(c.times.size());
        for (std::size_t i = 0; i < c.times.size(); ++i) {
            records[i].time = c.times[i];
            if (i < c.bands.size()) records[i].band = static_cast<std::uint8_t>(c.bands[i]);
            if (i < c.rejections.size()) records[i].rejection = static_cast<std::uint8_t>(c.rejections[i]);
        }
        std::vector<std::pair<int, int>> runs;
        for (const TRunItem& run : SplitRuns(records)) runs.emplace_back(run.First, run.Last);
        EXPECT_EQ(runs, c.runs) << c.times.size();
    }
}

TEST(GraphRuns, TheComboListsRunsByStartTimeWithTheirDataWords) {
    std::vector<TMeasureRecord> records(4);
    records[0].time = EncodeDateTime(2024, 3, 5, 10, 0, 0, 0);
    records[1].time = EncodeDateTime(2024, 3, 5, 10, 0, 10, 0);
    records[2].time = EncodeDateTime(2024, 3, 5, 10, 3, 30, 0);
    records[3].time = EncodeDateTime(2024, 3, 5, 10, 8, 30, 0);
    QComboBox box;
    FillSeriesList(box, records);
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_EQ(box.itemText(0), "05.03.2024 10:00:00");
    EXPECT_EQ(box.itemText(1), "05.03.2024 10:08:30");
    EXPECT_EQ(box.itemData(0).toUInt(), 0u + 65536u * 2);
    EXPECT_EQ(box.itemData(1).toUInt(), 3u + 65536u * 3);

    FillSeriesList(box, {});
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.currentIndex(), -1);
}

TEST(GraphRuns, ARunPastIndex65535KeepsItsRange) {
    std::vector<TMeasureRecord> records(70000);
    for (std::size_t i = 0; i < records.size(); ++i) records[i].time = 45000 + static_cast<double>(i) / 86400;
    QComboBox box;
    FillSeriesList(box, records);
    int first = -1, last = -1;
    ASSERT_TRUE(RunRangeOf(box, 0, first, last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 69999);
    EXPECT_FALSE(RunRangeOf(box, 1, first, last));
}

TEST(GraphReadout, PointerPositionGivesTheRowOfTheSampleBelowIt) {
    // 20 samples in a graph 600 wide: rows 2..21; samples 546 / 19 apart with
    // the axis at 36, 512 / 19 with the axis moved to 70 for wide labels.
    struct Case {
        int axis, tag, row;
    };
    const Case cases[] = {{36, 36, 2},      {36, 0, 2},    {36, 36 + 14, 2}, {36, 36 + 15, 3},
                          {36, 582, 21},    {36, 599, 21}, {70, 70, 2},      {70, 70 + 13, 2},
                          {70, 70 + 14, 3}, {70, 60, 2},   {70, 568, 20},    {70, 569, 21}};
    for (const Case& c : cases) EXPECT_EQ(GraphReadoutRow(c.tag, 600, 20, 22, c.axis), c.row) << c.axis << " " << c.tag;
    EXPECT_EQ(GraphReadoutRow(300, 600, 1, 3), -1);
    EXPECT_EQ(GraphReadoutRow(30, 54, 20, 22), -1);
    EXPECT_EQ(GraphReadoutRow(30, 88, 20, 22, 70), -1);
}

TEST(GraphReadout, TheRowIsSelected40MsAfterTheLastMovementWhileThePointerStaysOnTheGraph) {
    QWidget graph;
    graph.resize(600, 300);
    QTimer timer;
    int selected = -1;
    bool active = false;
    QPoint pointer(100, 100);
    int axis = kGraphAxisX;
    TGraphReadout readout(&graph, &timer,
                          {[] { return 20; }, [] { return 22; }, [&](int row) { selected = row; },
                           [&] { return active; }, [&] { return pointer; }, [&] { return axis; }});
    QMouseEvent move(QEvent::MouseMove, QPointF(582, 10), QPointF(582, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&graph, &move);
    EXPECT_FALSE(timer.isActive());  // another window is active

    active = true;
    QApplication::sendEvent(&graph, &move);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 40);
    EXPECT_EQ(readout.Tag(), 582);
    readout.GraphTmrTimer();
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(selected, 21);

    // The axis of the picture on view: a pointer just right of it is the first sample.
    axis = 100;
    readout.GraphMouseMove(101, 10);
    readout.GraphTmrTimer();
    EXPECT_EQ(selected, 2);

    selected = -1;
    pointer = QPoint(601, 100);  // left the graph before the timer fired
    readout.GraphMouseMove(36, 10);
    readout.GraphTmrTimer();
    EXPECT_EQ(selected, -1);
}

TEST(GraphLegend, EntriesFollowTheKind) {
    EXPECT_EQ(GraphLegend(kKind50Hz).Texts[1], "Электрическое поле");
    EXPECT_EQ(GraphLegend(kKind50Hz).FirstSwatch, kBlueCurve);
    EXPECT_EQ(GraphLegend(kKindMagnetic).Texts[0], "Магнитное поле");
    EXPECT_TRUE(GraphLegend(kKindMagnetic).Texts[1].isEmpty());
    EXPECT_EQ(GraphLegend(kKindSvtElectric).Texts[0], "Электрическое поле");
    EXPECT_EQ(GraphLegend(kKindElectric).FirstSwatch, kGreenCurve);
}

}  // namespace
