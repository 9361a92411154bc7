#pragma once

#include <array>
#include <optional>
#include <string>

#include "model/MeasureModel.h"

namespace zorvex {

class TSQLiteDatabase;

// The seven permissible levels, indexed by TMeasureSubfield.
using TLevels = std::array<double, kSubfieldCount>;

// Keys of the levels in `maxlevels.name`.
extern const std::array<std::string, kSubfieldCount> LevelNames;
// Built-in values: what a new database stores and what stays in force for an
// entry that cannot be loaded.
extern const TLevels kLevelDefaults;
// Labels of the levels in the levels dialog (index 0 has none).
extern const std::array<std::string, kSubfieldCount> kLevelLabels;

// Loads the stored value of every level in index order. A level whose row is
// missing or does not hold a number raises EConvertError; that level and the
// later ones keep the values they had.
void LoadLevels(TSQLiteDatabase& db, TLevels& levels);

// Limits by kind, band code and value slot (0 magnetic, 1 electric), as the
// table and the graph compare with them. A negative limit is no level; kinds 3
// and 4 have none either and hold a value above any reading (999999).
// Held as double, the type of the levels themselves: in single precision a
// level such as 2.7 becomes 2.70000005 and a value of exactly 2.70 would not
// count as reaching it.
using TLimitTable = std::array<std::array<std::array<double, 2>, 3>, kKindCount>;
TLimitTable LimitTableOf(const TLevels& levels);

// The level a value of (kind, band, slot) is held against, or none: kinds 3
// and 4, band code 2 on kinds 1 and 2, and a band code outside 0..2 on kinds 1
// and 2 have none. Kind 0 has its two levels whatever the band code.
std::optional<double> LevelOf(const TLimitTable& limits, int kind, int band, int slot);

// Sets one level in memory and writes it through to the database at once;
// a level whose row is missing gets its row.
void SetLevel(TSQLiteDatabase& db, TLevels& levels, int index, double value);

}  // namespace zorvex
