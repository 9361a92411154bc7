#include <gtest/gtest.h>

#include <memory>

#include "protocol/CellReadings.h"
#include "protocol/ProtocolFields.h"
#include "protocol/SingleReadings.h"
#include "support/ScriptedPrompts.h"

using namespace zorvex;
using zorvex::test::M;
using zorvex::test::Matrix;
using zorvex::test::ScriptedPrompts;

namespace {

TResultTables Tables(const TMeasureDataP& data) {
    TResultTables tables = CreatedResultTables();
    std::int32_t count = 0;
    PromptsScope scope(std::make_shared<ScriptedPrompts>());
    BuildResultTables(data, tables, count);
    return tables;
}

std::vector<double> Values(const TContestedCell& cell) {
    std::vector<double> values;
    for (const TCellReading& r : cell.readings) values.push_back(r.value);
    return values;
}

constexpr int kBackgroundElectric = 1, kElectricLow = 2, kBackgroundMagnetic = 4, kMagneticLow = 5, kMagneticHigh = 6;

}  // namespace

// Workplace 9 at 0.5 m measured twice (900 nT, then 5 nT) against the norm 250:
// the table keeps the later value, the earlier one must not vanish unseen.
TEST(CellReadings, AReMeasurementBelowTheNormDoesNotHideTheExceedance) {
    const TMeasureDataP data = Matrix({{3, 9, 1, 0, 900, -1, EncodeDateTime(2026, 3, 17, 10, 0, 5, 0)},
                                       {3, 9, 1, 0, 5, -1, EncodeDateTime(2026, 3, 17, 10, 2, 0, 0)}});
    TResultTables tables = Tables(data);
    ASSERT_EQ(tables[kMagneticLow].Cell(1, 2), "5.00");  // the rule of the tables stays

    std::vector<TContestedCell> cells = FindContestedCells(data);
    ASSERT_EQ(cells.size(), 1u);
    TContestedCell& cell = cells[0];
    EXPECT_EQ(cell.table, kMagneticLow);
    EXPECT_EQ(cell.workplace, 9);
    EXPECT_EQ(cell.col, 1);
    EXPECT_EQ(cell.row, 2);
    EXPECT_EQ(Values(cell), (std::vector<double>{900, 5}));
    EXPECT_EQ(cell.readings[0].time, EncodeDateTime(2026, 3, 17, 10, 0, 5, 0));
    EXPECT_EQ(cell.readings[1].kind, kKindMagnetic);
    EXPECT_EQ(cell.readings[1].position, 1u);

    const std::string& text = tables[kMagneticLow].Cell(1, 2);
    EXPECT_EQ(HeldReading(cell, text), 1u);
    EXPECT_TRUE(DropsReadingAtOrAboveNorm(cell, text));
    EXPECT_TRUE(HidesExceedance(cell, text));
    EXPECT_EQ(HiddenExceedanceQuestion(cells, tables),
              "Измерения не ниже допустимого уровня не показаны в таблицах:\n"
              "«Плотность магнитного потока 5 Гц – 2 кГц, нТл», РМ 9, 0.5 м: в таблице 5.00, не показано 900.00 "
              "(норма 250)\n"
              "Значение ячейки выбирается в списке «Ячейки с несколькими измерениями». Сформировать протокол так?");

    // Going on past the question counts as a choice of what the cells hold.
    std::vector<TContestedCell> acceptedCells = cells;
    AcceptHiddenExceedances(acceptedCells, tables);
    EXPECT_TRUE(acceptedCells[0].chosen);
    EXPECT_EQ(HiddenExceedanceQuestion(acceptedCells, tables), "");

    // Choosing the exceedance puts it into the table; nothing is hidden any more.
    HoldReading(cell, 0, tables);
    EXPECT_EQ(tables[kMagneticLow].Cell(1, 2), "900.00");
    EXPECT_TRUE(cell.chosen);
    EXPECT_EQ(HeldReading(cell, "900.00"), 0u);
    EXPECT_FALSE(DropsReadingAtOrAboveNorm(cell, "900.00"));
    EXPECT_EQ(HiddenExceedanceQuestion(cells, tables), "");

    // A deliberate choice of the lower value is not asked about again.
    HoldReading(cell, 1, tables);
    EXPECT_TRUE(HidesExceedance(cell, tables[kMagneticLow].Cell(1, 2)));
    EXPECT_EQ(HiddenExceedanceQuestion(cells, tables), "");
}

TEST(CellReadings, WhichCellsAreContestedAndWhichHideAnExceedance) {
    struct Case {
        const char* name;
        TMeasureDataP data;
        int table;  // -1: no contested cell
        std::vector<double> values;
        std::string text;  // what the cell is given before the checks; "" keeps the built text
        bool dropsAtOrAbove, hides;
    };
    const Case cases[] = {
        {"kind 1 overrides kind 3 by the order of the walk",
         Matrix({{1, 4, 2, 1, 10, -1}, {3, 4, 2, 1, 30, -1}}),
         kMagneticHigh,
         {30, 10},
         "",
         true,
         true},
        {"kind 2 overrides kind 4",
         Matrix({{4, 4, 3, 0, -1, 40}, {2, 4, 3, 0, -1, 3}}),
         kElectricLow,
         {40, 3},
         "",
         true,
         true},
        {"both below the norm",
         Matrix({{3, 4, 1, 0, 100, -1}, {3, 4, 1, 0, 120, -1}}),
         kMagneticLow,
         {100, 120},
         "",
         false,
         false},
        {"the held value is itself above the norm",
         Matrix({{3, 4, 1, 0, 260, -1}, {3, 4, 1, 0, 300, -1}}),
         kMagneticLow,
         {260, 300},
         "",
         true,
         false},
        {"a reading equal to the norm counts",
         Matrix({{3, 4, 1, 0, 250, -1}, {3, 4, 1, 0, 1, -1}}),
         kMagneticLow,
         {250, 1},
         "",
         true,
         true},
        {"the 50 Hz electric background against 500",
         Matrix({{0, 4, 1, 0, -1, 600}, {0, 4, 1, 0, -1, 10}}),
         kBackgroundElectric,
         {600, 10},
         "",
         true,
         true},
        {"the 50 Hz magnetic background has no numeric norm",
         Matrix({{0, 4, 1, 0, 900, -1}, {0, 4, 1, 0, 5, -1}}),
         kBackgroundMagnetic,
         {900, 5},
         "",
         false,
         false},
        {"a typed text shows none of the readings",
         Matrix({{3, 4, 1, 0, 900, -1}, {3, 4, 1, 0, 5, -1}}),
         kMagneticLow,
         {900, 5},
         " 7 ",
         true,
         true},
        {"an erased cell hides the exceedance",
         Matrix({{3, 4, 1, 0, 900, -1}, {3, 4, 1, 0, 5, -1}}),
         kMagneticLow,
         {900, 5},
         " ",
         true,
         true},
        {"a kind-1 record without a value does not compete",
         Matrix({{3, 4, 1, 0, 900, -1}, {1, 4, 1, 0, -1, -1}}),
         -1,
         {},
         "",
         false,
         false},
        {"height 0 and band 2 are shown nowhere",
         Matrix({{3, 4, 0, 0, 900, -1}, {3, 4, 0, 0, 5, -1}, {3, 4, 1, 2, 900, -1}, {3, 4, 1, 2, 5, -1}}),
         -1,
         {},
         "",
         false,
         false},
        {"other workplaces, heights and bands are other cells",
         Matrix({{3, 4, 1, 0, 900, -1},
                 {3, 5, 1, 0, 5, -1},
                 {3, 4, 2, 0, 5, -1},
                 {3, 4, 1, 1, 5, -1},
                 {4, 4, 1, 0, -1, 5}}),
         -1,
         {},
         "",
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TResultTables tables = Tables(c.data);
        const std::vector<TContestedCell> cells = FindContestedCells(c.data);
        if (c.table < 0) {
            EXPECT_TRUE(cells.empty());
            continue;
        }
        ASSERT_EQ(cells.size(), 1u);
        const TContestedCell& cell = cells[0];
        EXPECT_EQ(cell.table, c.table);
        EXPECT_EQ(Values(cell), c.values);
        std::string& text = tables[static_cast<std::size_t>(cell.table)].Cell(cell.col, cell.row);
        // The table holds the last reading of the walk until someone changes it.
        EXPECT_EQ(text, FormatLevel(c.values.back()));
        if (!c.text.empty()) text = c.text;
        EXPECT_EQ(HeldReading(cell, text),
                  c.text.empty() ? std::optional<std::size_t>(c.values.size() - 1) : std::nullopt);
        EXPECT_EQ(DropsReadingAtOrAboveNorm(cell, text), c.dropsAtOrAbove);
        EXPECT_EQ(HidesExceedance(cell, text), c.hides);
        EXPECT_EQ(HiddenExceedanceQuestion(cells, tables).empty(), !c.hides);
    }
}

TEST(CellReadings, ContestedCellsFindTheirRowsAndComeInTableOrder) {
    const TMeasureDataP data = Matrix({{3, 11, 3, 0, 1, -1},
                                       {3, 11, 3, 0, 2, -1},
                                       {3, 2, 1, 0, 1, -1},
                                       {4, 11, 2, 0, -1, 1},
                                       {4, 11, 2, 0, -1, 2},
                                       {3, 2, 1, 0, 3, -1}});
    const std::vector<TContestedCell> cells = FindContestedCells(data);
    ASSERT_EQ(cells.size(), 3u);
    const TResultTables tables = Tables(data);
    // (table, workplace, row, col): workplace 2 is row 2, workplace 11 row 3.
    EXPECT_EQ((std::vector<int>{cells[0].table, cells[0].workplace, cells[0].row, cells[0].col}),
              (std::vector<int>{kElectricLow, 11, 3, 2}));
    EXPECT_EQ((std::vector<int>{cells[1].table, cells[1].workplace, cells[1].row, cells[1].col}),
              (std::vector<int>{kMagneticLow, 2, 2, 1}));
    EXPECT_EQ((std::vector<int>{cells[2].table, cells[2].workplace, cells[2].row, cells[2].col}),
              (std::vector<int>{kMagneticLow, 11, 3, 3}));
    for (const TContestedCell& cell : cells)
        EXPECT_EQ(tables[static_cast<std::size_t>(cell.table)].Cell(0, cell.row), std::to_string(cell.workplace));
    EXPECT_EQ(Values(cells[1]), (std::vector<double>{1, 3}));
}

TEST(CellReadings, MoreHiddenCellsThanListedAreCounted) {
    TMeasureDataP data;
    for (int workplace = 1; workplace <= 7; ++workplace) {
        for (const double value : {900.0, 5.0}) {
            TMeasureRecord r;
            r.kind = kKindMagnetic;
            r.workplace = workplace;
            r.height = 1;
            r.mvalue = value;
            data(kMethodSingle, kKindMagnetic).Records.push_back(r);
        }
    }
    const std::string question = HiddenExceedanceQuestion(FindContestedCells(data), Tables(data));
    EXPECT_NE(question.find("РМ 5, 0.5 м"), std::string::npos);
    EXPECT_EQ(question.find("РМ 6, 0.5 м"), std::string::npos);
    EXPECT_NE(question.find("\nи других ячеек: 2\n"), std::string::npos);
}

TEST(CellReadings, SingleMeasurementsOutsideTheTablesAreCountedByReason) {
    TMeasureDataP data = Matrix({
        {3, 0, 1, 0, 5, -1},   // no workplace
        {0, 0, 0, 0, 5, 5},    // no workplace (and no height)
        {4, 3, 0, 0, -1, 5},   // no height
        {3, 3, 4, 0, 5, -1},   // 2.0 m
        {3, 3, -1, 0, 5, -1},  // a negative height code
        {1, 3, 1, 2, 5, -1},   // 10 kHz - 30 kHz
        {4, 3, 1, 9, -1, 5},   // unknown band
        {1, 3, 1, 0, -1, -1},  // kind 1 without its value
        {0, 3, 1, 0, -1, -1},  // 50 Hz without either value
        {0, 3, 1, 2, 5, -1},   // kind 0 ignores the band: in the tables
        {3, 3, 1, 0, -1, -1},  // kinds 3 and 4 write even a negative value
        {2, 3, 2, 1, -1, 4},   // in the tables
    });
    TMeasureRecord monitored;
    monitored.kind = kKindMagnetic;  // monitoring never reaches the tables and is not counted
    data(kMethodMonitoring, kKindMagnetic).Records.push_back(monitored);

    const TOmittedSingles omitted = CountOmittedSingles(data);
    EXPECT_EQ(omitted.Total(), 9);
    EXPECT_EQ(OmittedSinglesText(omitted),
              "Не вошли в таблицы одиночных измерений: 9 (без номера рабочего места: 2; без высоты: 1; с высотой не "
              "0.5, 1.0 или 1.5 м: 2; в диапазоне 10кГц - 30кГц: 1; с неизвестным диапазоном: 1; без значения: 2).");
    EXPECT_EQ(OmittedSinglesText(CountOmittedSingles(Matrix({{3, 1, 1, 0, 5, -1}}))), "");
    EXPECT_EQ(OmittedSinglesText(CountOmittedSingles(Matrix({{3, 0, 1, 0, 5, -1}}))),
              "Не вошли в таблицы одиночных измерений: 1 (без номера рабочего места: 1).");
}

TEST(ProtocolDate, DefaultsToTheDaysOfTheMeasurements) {
    const TDateTime d16 = EncodeDateTime(2026, 3, 16, 23, 0, 0, 0);
    const TDateTime d17 = EncodeDateTime(2026, 3, 17, 9, 30, 0, 0);
    const TDateTime d18 = EncodeDateTime(2026, 3, 18, 0, 10, 0, 0);
    struct Case {
        const char* name;
        TMeasureDataP data;
        std::optional<TDaySpan> days;
        std::string note;
    };
    const Case cases[] = {
        {"one day", Matrix({{3, 1, 1, 0, 5, -1, d17}, {4, 2, 1, 0, -1, 5, d17 + 0.1}}),
         TDaySpan{EncodeDate(2026, 3, 17), EncodeDate(2026, 3, 17)}, ""},
        {"the days of the numbered workplaces",
         Matrix({{3, 0, 1, 0, 5, -1, d16}, {4, 2, 1, 0, -1, 5, d18}, {0, 1, 1, 0, 5, 5, d17}}),
         TDaySpan{EncodeDate(2026, 3, 17), EncodeDate(2026, 3, 18)}, "Измерения проведены с 17.03.2026 по 18.03.2026."},
        {"no workplace numbered: all single measurements", Matrix({{3, 0, 1, 0, 5, -1, d18}, {4, 0, 1, 0, -1, 5, d16}}),
         TDaySpan{EncodeDate(2026, 3, 16), EncodeDate(2026, 3, 18)}, "Измерения проведены с 16.03.2026 по 18.03.2026."},
        {"no single measurements", TMeasureDataP{}, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<TDaySpan> days = MeasurementDays(c.data);
        ASSERT_EQ(days.has_value(), c.days.has_value());
        if (days) {
            EXPECT_EQ(days->first, c.days->first);
            EXPECT_EQ(days->last, c.days->last);
        }
        EXPECT_EQ(MeasurementDaysNote(c.data), c.note);
    }
}
