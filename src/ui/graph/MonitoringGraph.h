#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "model/MeasureModel.h"

class QFontMetrics;
class QPainter;
class QTimer;
class QWidget;

namespace zorvex {

// ---- geometry of a panel (W = width of the picture)
inline constexpr int kGraphAxisX = 36;         // the value axis, at least; further right for wide labels
inline constexpr int kGraphRightMargin = 18;   // the axes end at W - 18
inline constexpr int kGraphSideMargins = 54;   // plot width = W - 54 with the axis at 36
inline constexpr int kGraphLabelMargin = 4;    // room left of the widest value label
inline constexpr int kGraphLabelGap = 4;       // between a value label and the axis
inline constexpr int kGraphTopMargin = 8;      // the value axis rises to top + 8
inline constexpr int kGraphHeightMargin = 16;  // plot height = panel height - 16

// Curve colours by index (0 magnetic, 1 electric; 2 and 3 for the legend).
extern const std::array<QColor, 4> kCurveColours;
// A curve's colour at or above its limit: its own colour with full red.
QColor WarningColour(const QColor& curve);

// Rounding to the nearest integer, halves to the even neighbour.
int RoundEven(double value);

// Rounds a raw scale step up to a round number (0.3 -> 0.5, 37 -> 40, 95 -> 100).
double RoundUpStep(double x);

// What one drawing of the graph needs; the list is the current list of the
// window and the range its shown range.
struct TGraphInput {
    const std::vector<TMeasureRecord>* Records = nullptr;
    int Kind = 0;
    int FirstIndex = 0;
    int LastIndex = -1;
    // LimitTable[Kind][CurrentBand][0] and [1]: the limits of the magnetic and the electric curve.
    std::array<double, 2> Limits{};

    int ShownCount() const { return LastIndex - FirstIndex + 1; }
};

// The font the graph writes in.
QFont GraphFont();

// Where the value axis of a picture `height` high stands: the value labels
// of its panels, measured with `metrics`, fit whole left of it (never left of
// kGraphAxisX). Both panels of kind 0 share it, so their samples line up.
int GraphAxisX(const QFontMetrics& metrics, int height, const TGraphInput& input);

// Paints the whole graph on `canvas` in the rectangle (0, 0, width, height)
// of its logical coordinates: white, then one panel (two panels one above the
// other for kind 0). The canvas may be scaled (paper is painted as vectors at
// the same logical size); its state is left as it was. Returns the value
// axis's x (GraphAxisX); a size of 0 paints nothing.
int PaintGraph(QPainter& canvas, int width, int height, const TGraphInput& input);

// Redraws the whole picture at `width` x `height` with PaintGraph. A size of 0
// leaves an empty picture. Returns the value axis's x. The caller checks that
// the window is in monitoring mode.
int DrawGraph(QImage& picture, int width, int height, const TGraphInput& input);

// Draws one panel: top `top`, height `panelHeight`, time axis at `axisY`,
// value axis at `axisX`, curve 0 (magnetic value) or 1 (electric value). A
// panel too small to hold a plot (no plot width right of the axis, or height
// <= 16) is left as it is.
void DrawGraphPanel(QPainter& canvas, int width, const TGraphInput& input, int top, int panelHeight, int axisY,
                    int curve, int axisX = kGraphAxisX);

// The legend below the graph: texts of Label1..Label4 (a swatch is shown
// exactly when its text is not empty) and the colour of Shape1.
struct TGraphLegend {
    std::array<QString, 4> Texts;
    QColor FirstSwatch;
};
TGraphLegend GraphLegend(int kind);

// The table row (counting the two header rows) of the sample under a pointer
// at x = `tag` in a graph `clientWidth` wide with its value axis at `axisX`,
// clamped to 2 .. rowCount - 1; -1 when there is no sample to point at.
int GraphReadoutRow(int tag, int clientWidth, int shownCount, int rowCount, int axisX = kGraphAxisX);

// The pointer read-out: a mouse movement over the graph arms the timer, and
// 40 ms after the last movement the table row of the sample under the pointer
// is selected. It watches the graph's mouse moves itself and runs on the
// window's GraphTmr.
class TGraphReadout final : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<int()> ShownCount;     // the window's ShownCount
        std::function<int()> RowCount;       // DataGrid's row count
        std::function<void(int)> SelectRow;  // makes a row of DataGrid current
        // Whether the window is the active one; the graph's window by default.
        std::function<bool()> IsActive;
        // The pointer in graph coordinates; the mouse cursor by default.
        std::function<QPoint()> CursorPos;
        // The value axis of the picture on view; kGraphAxisX by default.
        std::function<int()> AxisX;
    };

    // `graph` gets mouse tracking; `timer` (GraphTmr) is made single-shot at 40 ms.
    TGraphReadout(QWidget* graph, QTimer* timer, Hooks hooks, QObject* parent = nullptr);

    void GraphMouseMove(int x, int y);
    void GraphTmrTimer();
    // The x position of the last movement (the window's Tag).
    int Tag() const { return tag_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* graph_;
    QTimer* timer_;
    Hooks hooks_;
    int tag_ = 0;
};

}  // namespace zorvex
