#pragma once

#include <array>
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

// Sets one level in memory and writes it through to the database at once.
void SetLevel(TSQLiteDatabase& db, TLevels& levels, int index, double value);

}  // namespace zorvex
