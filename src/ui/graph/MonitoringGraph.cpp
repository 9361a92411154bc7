#include "ui/graph/MonitoringGraph.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QLine>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QTimer>
#include <QVector>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "base/DateTime.h"
#include "base/Format.h"
#include "model/MonitoringRuns.h"

namespace zorvex {

const std::array<QColor, 4> kCurveColours = {QColor(0, 0, 255), QColor(0, 128, 0), QColor(0, 128, 128),
                                             QColor(128, 0, 128)};

QColor WarningColour(const QColor& curve) {
    return QColor(255, curve.green(), curve.blue());
}

int RoundEven(double value) {
    // Far outside any picture; keeps the conversion defined for wild values.
    constexpr double kLimit = 1.0e9;
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::nearbyint(std::clamp(value, -kLimit, kLimit)));
}

double RoundUpStep(double x) {
    if (!(x > 0) || !std::isfinite(x)) return x;
    if (x <= 1.0000001) {
        const double c = std::ceil(std::log10(x));
        double r = 0.5 * std::pow(10.0, c);
        if (r < x) r = std::pow(10.0, c);
        if (r < x) r = std::pow(10.0, c + 1);
        return r;
    }
    if (x <= 5) return 5;
    if (x <= 10) return 10;
    const double exponent = std::floor(std::log10(x));
    const auto firstMultiple = [x](double p) {
        for (int k = 1; k <= 9; ++k)
            if (k * p >= x) return k * p;
        return 0.0;
    };
    double r = firstMultiple(std::round(std::pow(10.0, exponent)));
    if (r == 0) r = firstMultiple(std::round(std::pow(10.0, exponent + 1)));
    return r;
}

QFont GraphFont() {
    QFont font = QApplication::font();
    font.setPixelSize(11);
    return font;
}

namespace {

// Closest spacing of the fifth-sample lines.
constexpr double kMinFifthLineGap = 8.0;

// Text with its top left corner at (x, y), as the picture's canvas writes it.
// Text is black whatever colour the lines are being drawn in.
void TextAt(QPainter& canvas, int x, int y, const QString& text) {
    const QPen previous = canvas.pen();
    canvas.setPen(Qt::black);
    canvas.drawText(x, y + canvas.fontMetrics().ascent(), text);
    canvas.setPen(previous);
}

// The letter at the top left of a panel and where it stands.
constexpr int kGraphLetterLeft = 2;
constexpr int kGraphLetterTop = 2;
QString PanelLetter(int curve) {
    return curve == 0 ? "H" : "E";
}

QString ValueLabel(double value) {
    return QString::fromStdString(Format("%.3f", {value}));
}

// One panel of the picture: top T, height P, time axis at A, its curve.
struct PanelPlace {
    int top, height, axisY, curve;
};

std::vector<PanelPlace> PanelsOf(int kind, int h) {
    switch (kind) {
        case kKind50Hz:
            return {{0, h / 2 - 1, h / 2 - 24, 0}, {h / 2, h / 2 - 1, h - 24, 1}};
        case kKindSvtMagnetic:
        case kKindMagnetic:
            return {{0, h - 1, h - 24, 0}};
        case kKindSvtElectric:
        case kKindElectric:
            return {{0, h - 1, h - 24, 1}};
        default:
            return {};
    }
}

// The value scale of a panel: y = Round(A + k x v), a label every `step`.
struct ValueScale {
    double scale = 0;
    double k = 0;
    double step = 0;
};

// Empty when the panel shows no curve (a run of fewer than two samples, a panel too low).
std::optional<ValueScale> ValueScaleOf(const TGraphInput& input, const PanelPlace& panel, int textHeight) {
    const int shown = input.ShownCount();
    if (shown <= 1 || input.Records == nullptr || panel.height <= kGraphHeightMargin) return std::nullopt;
    const std::vector<TMeasureRecord>& records = *input.Records;
    if (input.FirstIndex < 0 || input.LastIndex >= static_cast<int>(records.size())) return std::nullopt;
    double mn = 1.7e308;
    double mx = std::numeric_limits<double>::denorm_min();
    for (int i = input.FirstIndex; i <= input.LastIndex; ++i) {
        const double v = CurveValue(records[i], panel.curve);
        mn = std::min(mn, v);
        mx = std::max(mx, v);
    }
    ValueScale result;
    result.scale = std::max(mx, -mn) * 1.2 + 0.00001;
    result.k = -(panel.height - kGraphHeightMargin) / result.scale;
    // A plot lower than one label slot still gets one slot instead of a division by zero.
    const int labelSlots = std::max(1, (panel.height - kGraphHeightMargin) / (textHeight + 4));
    result.step = RoundUpStep(result.scale / labelSlots);
    if (!(result.step >= 0.01)) result.step = 0.01;
    while (std::fabs(result.k * result.step) < textHeight) result.step *= 10;
    return result;
}

// The labelled values of a panel's value axis, from the lowest up.
std::vector<double> LabelValues(const ValueScale& scale, const PanelPlace& panel) {
    std::vector<double> values;
    const int a = panel.axisY;
    const int t = panel.top;
    if (a + scale.k * scale.step - t > kGraphTopMargin) {
        for (int j = 1; RoundEven(a + scale.k * (j * scale.step) - t) > kGraphTopMargin; ++j) {
            values.push_back(j * scale.step);
        }
    }
    return values;
}

// Vertical one-pixel lines from y1 to y2 (both included), drawn as filled
// columns: a dense run puts a line in nearly every column, and neighbouring
// columns merge into one rectangle, which the raster engine fills many times
// faster than it draws the same pixels line by line.
class VerticalLines {
public:
    VerticalLines(QPainter& canvas, int y1, int y2)
        : canvas_(canvas), top_(std::min(y1, y2)), bottom_(std::max(y1, y2)) {}

    // Columns come in ascending order.
    void Add(int x) {
        if (!runs_.empty() && x >= runs_.back().first && x <= runs_.back().second + 1) {
            runs_.back().second = std::max(runs_.back().second, x);
            return;
        }
        runs_.emplace_back(x, x);
    }
    void Draw(const QColor& colour) {
        for (const auto& [from, to] : runs_) canvas_.fillRect(from, top_, to - from + 1, bottom_ - top_ + 1, colour);
        runs_.clear();
    }

private:
    QPainter& canvas_;
    int top_;
    int bottom_;
    std::vector<std::pair<int, int>> runs_;
};

QString TimeLabel(double time) {
    return QString::fromStdString(DateToStr(time) + "  " + TimeToStr(time));
}

// Collects the curve's segments by colour and draws each colour with one call
// at the end: on a run that crosses its limit at many samples, a draw call per
// colour change would cost several times the drawing itself. Where segments of
// both colours share pixels (the crossing points, a dense run's columns) the
// warning colour stays on top. Square caps keep the raster engine on its
// direct path for thick lines (round caps go through the general stroker,
// many times slower on a dense run) and still close the joins.
class CurvePen {
public:
    CurvePen(QPainter& canvas, QPoint start, QColor normal, QColor warning)
        : canvas_(canvas), at_(start), normal_(normal), warning_(warning) {}
    ~CurvePen() {
        Draw(normalLines_, normal_);
        Draw(warningLines_, warning_);
    }
    CurvePen(const CurvePen&) = delete;
    CurvePen& operator=(const CurvePen&) = delete;

    void LineTo(bool warning, QPoint to) {
        (warning ? warningLines_ : normalLines_).append(QLine(at_, to));
        at_ = to;
    }

private:
    void Draw(const QVector<QLine>& lines, const QColor& colour) {
        if (lines.isEmpty()) return;
        canvas_.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        canvas_.drawLines(lines);
    }

    QPainter& canvas_;
    QPoint at_;
    QColor normal_;
    QColor warning_;
    QVector<QLine> normalLines_;
    QVector<QLine> warningLines_;
};

}  // namespace

int GraphAxisX(const QFontMetrics& metrics, int height, const TGraphInput& input) {
    int axisX = kGraphLabelMargin + metrics.horizontalAdvance("0") + kGraphLabelGap;
    for (const PanelPlace& panel : PanelsOf(input.Kind, height)) {
        const auto scale = ValueScaleOf(input, panel, metrics.height());
        if (!scale) continue;
        // A label as high as the panel's letter starts right of the letter.
        const int letterBottom = panel.top + kGraphLetterTop + metrics.height();
        const int besideLetter =
            kGraphLetterLeft + metrics.horizontalAdvance(PanelLetter(panel.curve)) + kGraphLabelGap;
        for (const double v : LabelValues(*scale, panel)) {
            const int top = RoundEven(panel.axisY + scale->k * v);
            const int margin = top < letterBottom ? besideLetter : kGraphLabelMargin;
            axisX = std::max(axisX, margin + metrics.horizontalAdvance(ValueLabel(v)) + kGraphLabelGap);
        }
    }
    return std::max(kGraphAxisX, axisX);
}

int PaintGraph(QPainter& canvas, int width, int height, const TGraphInput& input) {
    if (width <= 0 || height <= 0) return kGraphAxisX;
    canvas.save();
    canvas.fillRect(0, 0, width, height, Qt::white);
    canvas.setFont(GraphFont());
    const int axisX = GraphAxisX(canvas.fontMetrics(), height, input);
    for (const PanelPlace& panel : PanelsOf(input.Kind, height)) {
        DrawGraphPanel(canvas, width, input, panel.top, panel.height, panel.axisY, panel.curve, axisX);
    }
    canvas.restore();
    return axisX;
}

int DrawGraph(QImage& picture, int width, int height, const TGraphInput& input) {
    if (width <= 0 || height <= 0) {
        picture = QImage();
        return kGraphAxisX;
    }
    if (picture.width() != width || picture.height() != height || picture.format() != QImage::Format_RGB32)
        picture = QImage(width, height, QImage::Format_RGB32);
    QPainter canvas(&picture);
    return PaintGraph(canvas, width, height, input);
}

void DrawGraphPanel(QPainter& canvas, int width, const TGraphInput& input, int top, int panelHeight, int axisY,
                    int curve, int axisX) {
    const int W = width;
    const int T = top;
    const int P = panelHeight;
    const int A = axisY;
    const int right = W - kGraphRightMargin;
    if (right <= axisX || P <= kGraphHeightMargin) return;

    // Negative values lie below the time axis; a panel keeps them to itself, so
    // that absent values (-1) of a single-field 50 Hz run never draw into the
    // other panel. A clip the caller has set (a sheet around the graph) stays.
    struct ClipGuard {
        QPainter& canvas;
        ~ClipGuard() { canvas.restore(); }
    } clipGuard{canvas};
    canvas.save();
    canvas.setClipRect(QRect(0, T, W, P), Qt::IntersectClip);

    canvas.setPen(QPen(Qt::black, 1));
    canvas.drawLine(axisX, A, right, A);
    canvas.drawLine(axisX, A, axisX, T + kGraphTopMargin);
    TextAt(canvas, W - 12, A + 2, "t");
    TextAt(canvas, kGraphLetterLeft, T + kGraphLetterTop, PanelLetter(curve));

    const QFontMetrics metrics = canvas.fontMetrics();
    const PanelPlace panel{T, P, A, curve};
    const auto valueScale = ValueScaleOf(input, panel, metrics.height());
    if (!valueScale) return;
    const std::vector<TMeasureRecord>& records = *input.Records;
    const int shown = input.ShownCount();
    const int first = input.FirstIndex;
    const int last = input.LastIndex;
    const double scale = valueScale->scale;
    const double k = valueScale->k;
    const auto yOf = [&](double v) { return RoundEven(A + k * v); };
    // Labels right-aligned against the axis, each with its top at its grid line.
    const auto labelAt = [&](int y, const QString& text) {
        TextAt(canvas, axisX - kGraphLabelGap - metrics.horizontalAdvance(text), y, text);
    };
    labelAt(A, "0");

    const QColor grey(128, 128, 128);
    canvas.setPen(QPen(grey, 1));
    for (const double v : LabelValues(*valueScale, panel)) {
        const int y = yOf(v);
        labelAt(y, ValueLabel(v));
        canvas.drawLine(axisX, y, right, y);
    }

    const int plotWidth = right - axisX;
    const double dx = static_cast<double>(plotWidth) / (shown - 1);
    const auto xOf = [&](int i) { return RoundEven((i - first) * dx + axisX); };
    QColor verticalColour = grey;
    VerticalLines columns(canvas, T + kGraphTopMargin, A);
    if (dx >= 8) {
        for (int i = first + 1; i <= last - 1; ++i) columns.Add(xOf(i));
        columns.Draw(grey);
        verticalColour = Qt::black;
        canvas.setPen(QPen(Qt::black, 1));
    }
    // Every fifth sample, from the first multiple of 5 in the range. On a run
    // so dense that those lines would stand closer than 8 pixels (a full
    // memory puts one in every column and greys the whole plot) only every
    // multiple of 5 that keeps them 8 pixels apart gets one.
    int every = 5;
    if (5 * dx < kMinFifthLineGap) every = 5 * static_cast<int>(std::ceil(kMinFifthLineGap / (5 * dx)));
    for (int i = (first + every - 1) / every * every; i < last - 1; i += every) columns.Add(xOf(i));
    columns.Draw(verticalColour);

    const QString firstTime = TimeLabel(records[first].time);
    const QString lastTime = TimeLabel(records[last].time);
    TextAt(canvas, axisX + 4, A + 1, firstTime);
    TextAt(canvas, right - metrics.horizontalAdvance(lastTime) - 4, A + 1, lastTime);

    const double lim = input.Limits[curve];
    const QColor colour = kCurveColours[curve];
    const QColor warning = WarningColour(colour);
    QPen dashed(warning, 1);
    dashed.setDashPattern({6, 3});
    canvas.setPen(dashed);
    if (lim < scale) canvas.drawLine(axisX, yOf(lim), right, yOf(lim));

    double prev = CurveValue(records[first], curve);
    CurvePen pen(canvas, QPoint(axisX, yOf(prev)), colour, warning);
    int px = 0;
    for (int i = first + 1; i <= last; ++i) {
        const double cur = CurveValue(records[i], curve);
        const int x = static_cast<int>((i - first) * static_cast<std::int64_t>(plotWidth) / (shown - 1));
        const QPoint to(x + axisX, yOf(cur));
        if (prev < lim && cur < lim) {
            pen.LineTo(false, to);
        } else if (prev >= lim && cur >= lim) {
            pen.LineTo(true, to);
        } else {
            const bool rising = prev <= cur;
            double f = rising ? (lim - prev) / (cur - prev - 0.00001) : (prev - lim) / (prev - cur - 0.00001);
            // Two values closer than the tolerance would put the crossing off the segment.
            if (!(f >= 0))
                f = 0;
            else if (f > 1)
                f = 1;
            const QPoint crossing(RoundEven(px + axisX + (x - px) * f), yOf(prev + (cur - prev) * f));
            pen.LineTo(!rising, crossing);
            pen.LineTo(rising, to);
        }
        prev = cur;
        px = x;
    }
}

TGraphLegend GraphLegend(int kind) {
    TGraphLegend legend;
    switch (kind) {
        case kKind50Hz:
            legend.Texts = {"Магнитное поле", "Электрическое поле", "", ""};
            break;
        case kKindSvtMagnetic:
        case kKindMagnetic:
            legend.Texts = {"Магнитное поле", "", "", ""};
            break;
        case kKindSvtElectric:
        case kKindElectric:
            legend.Texts = {"Электрическое поле", "", "", ""};
            break;
        default:
            break;
    }
    legend.FirstSwatch = (kind == kKindSvtElectric || kind == kKindElectric) ? kCurveColours[1] : kCurveColours[0];
    return legend;
}

int GraphReadoutRow(int tag, int clientWidth, int shownCount, int rowCount, int axisX) {
    const int plotWidth = clientWidth - axisX - kGraphRightMargin;
    if (shownCount < 2 || plotWidth <= 0) return -1;
    const double dx = static_cast<double>(plotWidth) / (shownCount - 1);
    int row = static_cast<int>(std::floor((tag - axisX) / dx + 0.5)) + 2;
    if (row <= 1)
        row = 2;
    else if (row > rowCount - 1)
        row = rowCount - 1;
    return row;
}

TGraphReadout::TGraphReadout(QWidget* graph, QTimer* timer, Hooks hooks, QObject* parent)
    : QObject(parent), graph_(graph), timer_(timer), hooks_(std::move(hooks)) {
    if (!hooks_.IsActive) hooks_.IsActive = [this] { return graph_->window()->isActiveWindow(); };
    if (!hooks_.CursorPos) hooks_.CursorPos = [this] { return graph_->mapFromGlobal(QCursor::pos()); };
    if (!hooks_.AxisX) hooks_.AxisX = [] { return kGraphAxisX; };
    timer_->setInterval(40);
    timer_->stop();
    graph_->setMouseTracking(true);
    graph_->installEventFilter(this);
    connect(timer_, &QTimer::timeout, this, [this] { GraphTmrTimer(); });
}

void TGraphReadout::GraphMouseMove(int x, int /*y*/) {
    if (hooks_.ShownCount() <= 1 || !hooks_.IsActive()) return;
    timer_->stop();
    tag_ = x;
    timer_->start();
}

void TGraphReadout::GraphTmrTimer() {
    timer_->stop();
    if (hooks_.ShownCount() < 2) return;
    const QPoint at = hooks_.CursorPos();
    const int w = graph_->width();
    const int h = graph_->height();
    if (at.x() < 0 || at.x() > w || at.y() < 0 || at.y() > h) return;
    const int row = GraphReadoutRow(tag_, w, hooks_.ShownCount(), hooks_.RowCount(), hooks_.AxisX());
    if (row >= 2) hooks_.SelectRow(row);
}

bool TGraphReadout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == graph_ && event->type() == QEvent::MouseMove) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        GraphMouseMove(at.x(), at.y());
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zorvex
