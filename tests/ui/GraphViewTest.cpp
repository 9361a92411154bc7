#include <gtest/gtest.h>

#include <ostream>

#include "ui/graph/GraphView.h"

namespace zorvex {

void PrintTo(const TIndexRange& range, std::ostream* out) {
    *out << range.First << ".." << range.Last;
}

namespace {

constexpr TIndexRange kRun{0, 99};

TEST(GraphView, ClampKeepsTheLengthInsideTheRunAndAtLeastTwoSamples) {
    struct Case {
        TIndexRange view, run, expected;
    } const cases[] = {
        {{10, 19}, kRun, {10, 19}},                                    // inside: unchanged
        {{95, 104}, kRun, {90, 99}},                                   // past the end: moved back whole
        {{-5, 4}, kRun, {0, 9}},                                       // before the start
        {{30, 30}, kRun, {30, 31}},                                    // one sample: widened to two
        {{7, 3}, kRun, {7, 8}},                                        // reversed
        {{-50, 200}, kRun, {0, 99}},                                   // longer than the run
        {{98, 99}, {98, 99}, {98, 99}}, {{5, 9}, {40, 40}, {40, 40}},  // a run of one sample is all there is
        {{5, 9}, {50, 80}, {50, 54}},                                  // a run that does not start at 0
    };
    for (const Case& c : cases) EXPECT_EQ(ClampView(c.view, c.run), c.expected) << c.view.First << ".." << c.view.Last;
}

TEST(GraphView, XMapsToTheNearestSampleOfTheView) {
    const TPlotSpan plot{36, 100};
    struct Case {
        TIndexRange view;
        int x, index;
    } const cases[] = {
        {{10, 20}, 36, 10}, {{10, 20}, 136, 20}, {{10, 20}, 86, 15},  {{10, 20}, 40, 10},
        {{10, 20}, 41, 11}, {{10, 20}, 0, 10},   {{10, 20}, 900, 20}, {{0, 100}, 86, 50},
    };
    for (const Case& c : cases) EXPECT_EQ(IndexAtX(c.view, plot, c.x), c.index) << c.x;
}

TEST(GraphView, ZoomKeepsTheAnchorInPlaceAndAlwaysMoves) {
    struct Case {
        TIndexRange view;
        int anchor;
        double factor;
        TIndexRange expected;
    } const cases[] = {
        {{0, 99}, 50, 0.5, {25, 74}},                                  // around the middle
        {{0, 99}, 0, 0.5, {0, 49}},                                    // the first sample stays first
        {{0, 99}, 99, 0.5, {50, 99}},                                  // the last stays last
        {{90, 99}, 99, 0.5, {95, 99}}, {{25, 74}, 50, 2, {0, 99}},     // out to the whole run, not beyond
        {{40, 59}, 45, 100, {0, 99}},  {{10, 11}, 10, 1.1, {10, 12}},  // 2 x 1.1 rounds to 2: one more anyway
        {{10, 14}, 12, 0.9, {10, 13}},                                 // 5 x 0.9 rounds to 5: one less anyway
        {{10, 11}, 10, 0.5, {10, 11}},                                 // two samples are the least
        {{0, 99}, 50, 0, {0, 99}},                                     // no factor, no change
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZoomView(c.view, kRun, c.anchor, c.factor), c.expected)
            << c.view.First << ".." << c.view.Last << " at " << c.anchor << " x" << c.factor;
    }
}

TEST(GraphView, DragSelectsTheSamplesBetweenThePointersAndAShortDragIsAClick) {
    const TPlotSpan plot{36, 100};
    struct Case {
        TIndexRange view;
        int x1, x2;
        TIndexRange expected;
    } const cases[] = {
        {{0, 100}, 46, 56, {10, 20}},   {{0, 100}, 56, 46, {10, 20}},  // either direction
        {{0, 100}, 46, 49, {0, 100}},                                  // 3 pixels: a click
        {{0, 100}, 46, 50, {10, 14}},                                  // 4 pixels: a range
        {{0, 100}, 86, 900, {50, 100}}, {{0, 100}, -20, 40, {0, 4}},   // clamped to the plot
        {{0, 10}, 36, 40, {0, 1}},                                     // within one sample: two samples
        {{20, 30}, 56, 96, {22, 26}},                                  // in a zoomed view
    };
    for (const Case& c : cases)
        EXPECT_EQ(DragView(c.view, {0, 100}, plot, c.x1, c.x2), c.expected) << c.x1 << " " << c.x2;
}

TEST(GraphView, PanMovesTheViewWithinTheRun) {
    struct Case {
        TIndexRange view;
        int samples;
        TIndexRange expected;
    } const cases[] = {
        {{10, 19}, 5, {15, 24}},
        {{10, 19}, -20, {0, 9}},
        {{10, 19}, 100, {90, 99}},
        {{0, 99}, 10, {0, 99}},
    };
    for (const Case& c : cases) EXPECT_EQ(PanView(c.view, kRun, c.samples), c.expected) << c.samples;

    EXPECT_EQ(SamplesOfPixels({0, 100}, {36, 200}, 50), 25);
    EXPECT_EQ(SamplesOfPixels({0, 100}, {36, 200}, -50), -25);
    EXPECT_EQ(SamplesOfPixels({0, 10}, {36, 200}, 9), 0);  // less than half a sample
    EXPECT_EQ(SamplesOfPixels({0, 10}, {36, 0}, 50), 0);   // no plot
    EXPECT_EQ(PanStep({0, 4}), 1);
    EXPECT_EQ(PanStep({0, 99}), 10);
}

}  // namespace
}  // namespace zorvex
