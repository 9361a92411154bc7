#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/MeasureModel.h"

namespace zorvex {

// ---- workplace rows

// Marks a value no measurement gave.
inline constexpr double kNoValue = -999;

// The eight values kept per workplace and height.
enum TResultSlot : int {
    rsMagneticBand0 = 0,  // + band code
    rsElectricBand0 = 3,  // + band code
    rsBackgroundElectric = 6,
    rsBackgroundMagnetic = 7,
};
inline constexpr int kResultSlotCount = 8;
inline constexpr int kHeightCodeCount = 4;  // 0 none, 1 = 0.5 m, 2 = 1.0 m, 3 = 1.5 m

struct TWorkplaceResults {
    std::int32_t Number = 0;
    // [height code][slot]
    std::array<std::array<double, kResultSlotCount>, kHeightCodeCount> Values;

    TWorkplaceResults();
};

// One value that filling the workplace rows writes: which measurement, where
// it goes and what it writes.
struct TResultWrite {
    std::int32_t workplace = 0;
    int height = 0;  // code 0..3
    int slot = 0;    // TResultSlot (+ band code)
    int kind = 0;
    std::size_t position = 0;  // in its single-measurement series
    double value = 0;
};

// Every write of the filling walk, in its order: kinds 3, 4, 1, 2, 0, each in
// its stored order. A later write of the same workplace, height and slot
// replaces an earlier one in the rows. Measurements of workplace 0, height
// codes outside 0..3, band codes above 2 (where the band places the value) and
// negative values of kinds 1, 2 and 0 write nothing.
void WalkResultWrites(const TMeasureDataP& measurements, const std::function<void(const TResultWrite&)>& write);

// One row per distinct non-zero workplace number of the single measurements,
// ascending by number, filled by kinds 3, 4, 1, 2, 0 so that the last value
// wins (kinds 1 and 2 override kinds 3 and 4; their negative values and the
// negative values of kind 0 are not written). Height codes above 3 and, where
// the band places the value, band codes above 2 are skipped.
std::vector<TWorkplaceResults> CollectWorkplaces(const TMeasureDataP& measurements);

// "" for the no-value mark, otherwise two decimals ("12.30").
std::string FormatLevel(double value);
// "0.5", "1.0", "1.5" for height codes 1, 2, 3.
std::string HeightHeading(int heightCode);

// ---- the ten result tables

inline constexpr int kResultTableCount = 10;
inline constexpr int kHiddenTableIndex = 9;
// Column 0 is as wide as this text in the table's font.
inline constexpr std::string_view kNumberColumnSample = "9999__";
inline constexpr int kMeasureSampleWidth = 0;  // a column width that means "width of kNumberColumnSample"
inline constexpr int kCreatedRowHeight = 24;
inline constexpr int kCreatedColumnWidth = 64;
inline constexpr int kTableGap = 40;      // between a table and the next one
inline constexpr int kCaptionOffset = 5;  // a caption's top above its table's top

// One result table: its cells and how the editor shows it.
struct TResultTable {
    std::string gridName;   // "Grid1", "Grid10", "Grid2" ...
    std::string labelName;  // "GridLabel1" ...
    int tag = 0;            // order number 1..10
    std::string caption;    // text of the caption label above it
    bool visible = true;
    int rowCount = 0, colCount = 0, fixedRows = 1;
    int defaultRowHeight = kCreatedRowHeight;
    std::vector<int> rowHeights;  // one per row
    std::vector<int> colWidths;   // one per column; kMeasureSampleWidth for column 0 once built
    bool editorAlwaysOpen = false;
    std::vector<std::string> cells;  // row-major

    const std::string& Cell(int col, int row) const { return cells[static_cast<std::size_t>(row * colCount + col)]; }
    std::string& Cell(int col, int row) { return cells[static_cast<std::size_t>(row * colCount + col)]; }
    // The cell's text, or "" outside the table.
    std::string CellOrEmpty(int col, int row) const;

    void Resize(int cols, int rows);       // keeps the cells that still fit
    void SetDefaultRowHeight(int height);  // every row gets it
    // Height fitted to the rows: row 0 + (rows - 1) * (default + 1) + 1.
    int FittedHeight() const;
    // Columns a heading cell of row 0 spans: up to the next column whose
    // row-0 text is not empty, or the end of the row.
    int HeadingSpan(int col) const;
    // A visited empty cell becomes " " so that it is drawn and can be edited.
    void VisitCell(int col, int row);
};

// Index order 0..9: Grid1, Grid10, Grid2 .. Grid9.
using TResultTables = std::array<TResultTable, kResultTableCount>;

// The tables as the editor creates them, before any measurements: 5 x 5 with
// row 0 fixed, empty.
TResultTables CreatedResultTables();

// Builds tables 0 to 8 from the workplace rows and writes the workplace numbers
// into column 0 of every table (table 9 as far as its rows reach). With no
// workplace it shows "Нет данных для формирования отчёта", leaves the tables
// as they are and returns false. `workplaceCount` receives the row count.
bool BuildResultTables(const TMeasureDataP& measurements, TResultTables& tables, std::int32_t& workplaceCount);

// The level table (1..6) that shows a slot, or -1 for a slot no table shows.
int LevelTableOfSlot(int slot);
// The norm text of every data row of a level table (1..7); "" for others.
std::string_view LevelTableNorm(int tableIndex);

// Tops of the tables from `firstTop` on, each below the previous one with a
// gap; a caption goes kCaptionOffset above its table.
std::vector<int> LayOutTables(const TResultTables& tables, int firstTop);

}  // namespace zorvex
