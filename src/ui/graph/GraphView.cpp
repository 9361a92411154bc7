#include "ui/graph/GraphView.h"

#include <algorithm>
#include <cmath>

namespace zorvex {

TIndexRange ClampView(TIndexRange view, TIndexRange run) {
    if (run.Count() < kMinViewSamples) return run;
    const int count = std::clamp(view.Count(), kMinViewSamples, run.Count());
    const int first = std::clamp(view.First, run.First, run.Last - count + 1);
    return {first, first + count - 1};
}

int IndexAtX(TIndexRange view, TPlotSpan plot, int x) {
    if (view.Count() < 2 || plot.Width <= 0) return std::max(view.First, 0);
    const double dx = static_cast<double>(plot.Width) / (view.Count() - 1);
    const int index = view.First + static_cast<int>(std::floor((x - plot.AxisX) / dx + 0.5));
    return std::clamp(index, view.First, view.Last);
}

TIndexRange ZoomView(TIndexRange view, TIndexRange run, int anchor, double factor) {
    view = ClampView(view, run);
    if (view.Count() < kMinViewSamples || !(factor > 0)) return view;
    anchor = std::clamp(anchor, view.First, view.Last);
    int count = static_cast<int>(std::lround(view.Count() * factor));
    if (factor < 1 && count >= view.Count()) count = view.Count() - 1;
    if (factor > 1 && count <= view.Count()) count = view.Count() + 1;
    count = std::clamp(count, kMinViewSamples, run.Count());
    // The anchor keeps its share of the picture left of it.
    const double share = static_cast<double>(anchor - view.First) / (view.Count() - 1);
    const int first = anchor - static_cast<int>(std::lround(share * (count - 1)));
    return ClampView({first, first + count - 1}, run);
}

TIndexRange DragView(TIndexRange view, TIndexRange run, TPlotSpan plot, int x1, int x2) {
    view = ClampView(view, run);
    if (std::abs(x2 - x1) < kClickPixels) return view;
    const int a = IndexAtX(view, plot, std::min(x1, x2));
    const int b = IndexAtX(view, plot, std::max(x1, x2));
    if (b - a + 1 >= kMinViewSamples) return ClampView({a, b}, run);
    // A range within one sample: that sample and the next.
    return ClampView({a, a + kMinViewSamples - 1}, run);
}

TIndexRange PanView(TIndexRange view, TIndexRange run, int samples) {
    view = ClampView(view, run);
    return ClampView({view.First + samples, view.Last + samples}, run);
}

int SamplesOfPixels(TIndexRange view, TPlotSpan plot, int pixels) {
    if (view.Count() < 2 || plot.Width <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(pixels) * (view.Count() - 1) / plot.Width));
}

int PanStep(TIndexRange view) {
    return std::max(1, view.Count() / 10);
}

}  // namespace zorvex
