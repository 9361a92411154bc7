#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "model/MeasureModel.h"
#include "protocol/ResultTables.h"

namespace zorvex {

// Which single measurements reach the result tables, and which do not.
//
// A cell of a level table shows one value, but several measurements may be
// written into it (a re-measurement, or a computer-workplace kind over the
// general kind). The tables are built as before, the last written value
// standing in the cell; the cells with several readings are listed so that
// the user sees every value and chooses the one the table holds. What a cell
// holds is read from its text, so a stored protocol keeps the choice in its
// stored table text and needs nothing else.

struct TCellReading {
    int kind = 0;
    std::size_t position = 0;  // in its single-measurement series
    TDateTime time = 0;
    double value = 0;
};

// A shown cell of a level table (tables 1..6, heights 0.5 to 1.5 m) that
// more than one single measurement writes into.
struct TContestedCell {
    int table = 0;  // result table index
    std::int32_t workplace = 0;
    int col = 0;  // the height code
    int row = 0;  // row of the table
    // In the order the tables are filled: the last is the one they are built with.
    std::vector<TCellReading> readings;
    // The user chose what the cell holds (or went on knowing what it drops).
    bool chosen = false;
};

// In table order, then by row and column.
std::vector<TContestedCell> FindContestedCells(const TMeasureDataP& measurements);

// The permissible level of a level table's rows when it is a number.
std::optional<double> TableNorm(int tableIndex);

// The reading a cell text shows: the last one whose value formats to the
// text (blanks around it ignored); nullopt for a text no reading gives.
std::optional<std::size_t> HeldReading(const TContestedCell& cell, std::string_view cellText);

// The cell text shows the reading's value (blanks around it ignored).
bool IsShown(const TCellReading& reading, std::string_view cellText);

// Some reading the text does not show is at or above the table's norm.
bool DropsReadingAtOrAboveNorm(const TContestedCell& cell, std::string_view cellText);

// The text does not show a value at or above the norm although a dropped
// reading is: the table would read as compliant.
bool HidesExceedance(const TContestedCell& cell, std::string_view cellText);

// The cell of `tables` takes the reading's value; the cell counts as chosen.
void HoldReading(TContestedCell& cell, std::size_t reading, TResultTables& tables);

// The question to ask before a protocol is formed while cells not chosen by
// the user hide an exceedance; "" when there are none.
std::string HiddenExceedanceQuestion(const std::vector<TContestedCell>& cells, const TResultTables& tables);

// The user went on past that question: those cells count as chosen.
void AcceptHiddenExceedances(std::vector<TContestedCell>& cells, const TResultTables& tables);

// A short name of a level table's quantity ("Плотность магнитного потока 5 Гц – 2 кГц, нТл").
std::string_view LevelTableShortName(int tableIndex);
// The kind of field as the main window's tabs name it ("Магнитное поле").
std::string_view ReadingKindName(int kind);

// Single measurements that give no value to any shown cell, by the first
// reason that keeps each out.
struct TOmittedSingles {
    int noWorkplace = 0;   // workplace number 0
    int noHeight = 0;      // height code 0
    int otherHeight = 0;   // height code not 1..3
    int bandNotShown = 0;  // kinds 1..4 in band 10 kHz - 30 kHz
    int unknownBand = 0;   // kinds 1..4 with a band code above 2
    int noValue = 0;       // negative values, which kinds 0, 1 and 2 do not write
    int Total() const { return noWorkplace + noHeight + otherHeight + bandNotShown + unknownBand + noValue; }
};
TOmittedSingles CountOmittedSingles(const TMeasureDataP& measurements);
// "Не вошли в таблицы одиночных измерений: 7 (без номера рабочего места: 5; без высоты: 2)."; "" for none.
std::string OmittedSinglesText(const TOmittedSingles& omitted);

}  // namespace zorvex
