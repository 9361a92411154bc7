#pragma once
// Timing shared by the benchmarks of the main window.
#include <algorithm>
#include <chrono>
#include <functional>

#include "model/MeasureModel.h"
#include "ui/main/Mainform.h"

namespace zorvex::bench {

// Best wall time in seconds of `runs` calls of `action`.
inline double Seconds(const std::function<void()>& action, int runs = 3) {
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        action();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// Best time of laying `data` out in the window's table (SetupDataGrid +
// FillDataGrid) over three runs, each from an empty table, as a load does.
inline double BestTableLayout(TMainform& form, const TMeasureDataP& data, bool idsOfMainDatabase) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        form.TakeOverMatrix(TMeasureDataP{}, false);
        form.SetupDataGrid();
        form.TakeOverMatrix(data, idsOfMainDatabase);
        best = std::min(best, Seconds(
                                  [&] {
                                      form.SetupDataGrid();
                                      form.FillDataGrid();
                                  },
                                  1));
    }
    return best;
}

}  // namespace zorvex::bench
