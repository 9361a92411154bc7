#pragma once

#include <cstdint>
#include <string>

#include "model/MeasureModel.h"

namespace zorvex {

class TSQLiteDatabase;

// Significant digits of the shortest text that reads back to `value`.
int ShortestDigits(double value);

// The rows of a "select * from measurements ..." query read straight from
// the statement, for speed: the general path of the store turns every cell
// into text and parses it back. Only cells for which both give the same
// value are taken (integers within range, numbers whose shortest form has at
// most 15 digits, ASCII times that parse); at the first other cell, error or
// column the general path would treat otherwise it gives up and returns false
// with `Data` and `skipped` untouched, so that path runs and decides, errors
// included. On success `skipped` is the number of rows outside the matrix.
bool ReadOrdinaryRows(TSQLiteDatabase& db, const std::string& sql, TMeasureDataP& Data, std::int64_t& skipped);

}  // namespace zorvex
