#pragma once

// The part of a monitoring run the graph shows, and how pointer gestures move
// it. Pure index arithmetic: the window turns mouse and key events into these
// calls and draws the range they return.

namespace zorvex {

// Records First..Last of the current list (empty when Last < First).
struct TIndexRange {
    int First = 0;
    int Last = -1;

    int Count() const { return Last - First + 1; }
    bool operator==(const TIndexRange&) const = default;
};

// Where the samples stand on the picture: index First of the view at AxisX,
// index Last at AxisX + Width.
struct TPlotSpan {
    int AxisX = 0;
    int Width = 0;
};

// A zoomed view never holds fewer samples than this.
inline constexpr int kMinViewSamples = 2;
// A left-button drag shorter than this (pixels) is a click, not a range.
inline constexpr int kClickPixels = 4;

// `view` moved inside `run` with its length kept (cut to the run when longer)
// and at least kMinViewSamples long; the whole run when it is shorter than that.
TIndexRange ClampView(TIndexRange view, TIndexRange run);

// The index of the sample nearest to x, clamped to the view.
int IndexAtX(TIndexRange view, TPlotSpan plot, int x);

// Zooms by `factor` (< 1 in, > 1 out) around sample `anchor`, which keeps its
// place on the picture. Every call changes the length by one sample at least,
// so that repeated small steps never stall on a short view.
TIndexRange ZoomView(TIndexRange view, TIndexRange run, int anchor, double factor);

// The range between two pointer positions; the view itself when they are
// closer than kClickPixels (a click).
TIndexRange DragView(TIndexRange view, TIndexRange run, TPlotSpan plot, int x1, int x2);

// The view moved by `samples` (later for positive), kept inside the run.
TIndexRange PanView(TIndexRange view, TIndexRange run, int samples);

// How many samples a movement of `pixels` along the plot covers in `view`.
int SamplesOfPixels(TIndexRange view, TPlotSpan plot, int pixels);

// One step of a key or wheel pan: a tenth of the view, one sample at least.
int PanStep(TIndexRange view);

}  // namespace zorvex
