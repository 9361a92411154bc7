#include <gtest/gtest.h>

#include <memory>

#include "protocol/ResultTables.h"
#include "protocol/SingleReadings.h"
#include "support/ScriptedPrompts.h"

using namespace zorvex;
using zorvex::test::M;
using zorvex::test::Matrix;
using zorvex::test::ScriptedPrompts;

namespace {

struct Built {
    bool ok = false;
    std::int32_t count = 0;
    TResultTables tables = CreatedResultTables();
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
};

Built Build(const TMeasureDataP& data) {
    Built b;
    PromptsScope scope(b.prompts);
    b.ok = BuildResultTables(data, b.tables, b.count);
    return b;
}

// Table indexes of the level tables.
constexpr int kBackgroundElectric = 1, kElectricLow = 2, kElectricHigh = 3, kBackgroundMagnetic = 4, kMagneticLow = 5,
              kMagneticHigh = 6, kElectrostatic = 7, kLuminance = 8;

}  // namespace

TEST(ResultTables, WorkplacesAreSortedAndEveryTableGetsItsRows) {
    // Met in the order 11, 1, 2 (and 11 again in a later kind); workplace 0 never counts.
    const Built b = Build(
        Matrix({{3, 11, 1, 0, 5, 0}, {3, 1, 1, 0, 5, 0}, {0, 0, 1, 0, 5, 5}, {4, 2, 2, 1, 0, 7}, {1, 11, 1, 0, 6, 0}}));
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.count, 3);
    EXPECT_TRUE(b.prompts->shown.empty());

    const std::vector<std::string> numbers = {"1", "2", "11"};
    for (int index = 0; index < kResultTableCount; ++index) {
        const TResultTable& t = b.tables[index];
        // n + 1 rows for tables 0 and 8, n + 2 for the level tables; table 9 keeps its 5.
        const int rows = index == 0 || index == kLuminance ? 4 : 5;
        EXPECT_EQ(t.rowCount, rows) << index;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(t.Cell(0, t.fixedRows + i), numbers[i]) << "table " << index;
    }
    EXPECT_EQ(b.tables[kHiddenTableIndex].Cell(0, 4), "");
    EXPECT_EQ(b.tables[kElectricHigh].fixedRows, 2);
    EXPECT_EQ(b.tables[0].fixedRows, 1);
}

TEST(ResultTables, ValuesGoToTheirWorkplaceHeightAndQuantity) {
    struct Cell {
        int table, col, row;
        std::string text;
    };
    struct Case {
        const char* name;
        TMeasureDataP data;
        std::vector<Cell> cells;  // row 2 is the first workplace of a level table
    };
    const Case cases[] = {
        {"a workplace measured only at 1.0 m",
         Matrix({{3, 4, 2, 0, 12.3, 0}}),
         {{kMagneticLow, 1, 2, ""},
          {kMagneticLow, 2, 2, "12.30"},
          {kMagneticLow, 3, 2, ""},
          {kMagneticHigh, 2, 2, ""}}},
        {"each workplace shows only its own measurements",
         Matrix({{4, 1, 1, 1, 0, 3}, {4, 2, 3, 1, 0, 0}}),
         {{kElectricHigh, 1, 2, "3.00"},
          {kElectricHigh, 3, 2, ""},
          {kElectricHigh, 1, 3, ""},
          {kElectricHigh, 3, 3, "0.00"}}},
        {"kind 1 overrides kind 3 whatever their order in the series",
         Matrix({{1, 1, 1, 0, 50, -1}, {3, 1, 1, 0, 100, 0}}),
         {{kMagneticLow, 1, 2, "50.00"}}},
        {"kind 1 with -1 leaves the kind-3 value",
         Matrix({{3, 1, 1, 1, 100, 0}, {1, 1, 1, 1, -1, 0}}),
         {{kMagneticHigh, 1, 2, "100.00"}}},
        {"kind 2 overrides kind 4, the later of one kind wins",
         Matrix({{4, 1, 3, 0, 0, 30}, {2, 1, 3, 0, 0, 20}, {2, 1, 3, 0, 0, 21.456}}),
         {{kElectricLow, 3, 2, "21.46"}}},
        {"a 50 Hz record may carry only one of its values",
         Matrix({{0, 1, 1, 0, 300, -1}, {0, 1, 2, 0, -1, 40}}),
         {{kBackgroundMagnetic, 1, 2, "300.00"},
          {kBackgroundElectric, 1, 2, ""},
          {kBackgroundElectric, 2, 2, "40.00"},
          {kBackgroundMagnetic, 2, 2, ""}}},
        {"height code 0 gives a row without visible values",
         Matrix({{3, 7, 0, 0, 99, 0}, {0, 7, 0, 0, 99, 99}}),
         {{0, 0, 1, "7"},
          {kMagneticLow, 0, 2, "7"},
          {kMagneticLow, 1, 2, ""},
          {kMagneticLow, 2, 2, ""},
          {kMagneticLow, 3, 2, ""},
          {kBackgroundElectric, 1, 2, ""},
          {kBackgroundMagnetic, 3, 2, ""}}},
        {"height codes above 3 and band codes above 2 are skipped",
         Matrix({{3, 1, 4, 0, 99, 0}, {3, 1, 1, 3, 99, 0}, {4, 1, 1, 200, 0, 99}, {3, 1, 2, 2, 5, 0}}),
         {{kMagneticLow, 1, 2, ""}, {kMagneticHigh, 1, 2, ""}, {kElectricLow, 1, 2, ""}, {kMagneticLow, 2, 2, ""}}},
        {"norm columns and the typed-in tables",
         Matrix({{3, 1, 1, 0, 1, 0}}),
         {{kBackgroundElectric, 4, 2, "500"},
          {kElectricLow, 4, 2, "25"},
          {kElectricHigh, 4, 2, "2.5"},
          {kBackgroundMagnetic, 4, 2, "Отсутствие временной нестабильности изображения (мелькание)"},
          {kMagneticLow, 4, 2, "250"},
          {kMagneticHigh, 4, 2, "25"},
          {kElectrostatic, 4, 2, "15"},
          {kElectrostatic, 1, 2, ""},
          {kLuminance, 2, 1, "3"},
          {kLuminance, 1, 1, ""},
          {0, 1, 1, ""}}},
    };
    for (const Case& c : cases) {
        const Built b = Build(c.data);
        ASSERT_TRUE(b.ok) << c.name;
        for (const Cell& cell : c.cells)
            EXPECT_EQ(b.tables[cell.table].Cell(cell.col, cell.row), cell.text)
                << c.name << ": table " << cell.table << " col " << cell.col << " row " << cell.row;
    }
}

TEST(ResultTables, NoNumberedWorkplaceLeavesTheTablesAsCreated) {
    TMeasureDataP data = Matrix({{3, 0, 1, 0, 5, 0}, {0, 0, 2, 0, 5, 5}});
    TMeasureRecord monitored;
    monitored.workplace = 3;  // monitoring series do not count
    data(kMethodMonitoring, 3).Records.push_back(monitored);

    const Built b = Build(data);
    EXPECT_FALSE(b.ok);
    EXPECT_EQ(b.count, 0);
    EXPECT_EQ(b.prompts->Messages(), std::vector<std::string>{"Нет данных для формирования отчёта"});
    const TResultTables created = CreatedResultTables();
    for (int i = 0; i < kResultTableCount; ++i) {
        EXPECT_EQ(b.tables[i].cells, created[i].cells);
        EXPECT_EQ(b.tables[i].rowCount, 5);
    }
}

TEST(ResultTables, ShapesHeadingsAndHeights) {
    const Built b = Build(Matrix({{3, 1, 1, 0, 1, 0}, {3, 2, 1, 0, 1, 0}}));
    const TResultTable& level = b.tables[kElectricLow];
    EXPECT_EQ(level.Cell(0, 0), "№ РМ");
    EXPECT_EQ(level.Cell(1, 0), "Измеренное значение на уровне по высоте, м");
    EXPECT_EQ((std::vector<std::string>{level.Cell(1, 1), level.Cell(2, 1), level.Cell(3, 1)}),
              (std::vector<std::string>{"0.5", "1.0", "1.5"}));
    // The measured-value heading spans the three height columns, the norm heading its own.
    EXPECT_EQ(level.HeadingSpan(1), 3);
    EXPECT_EQ(level.HeadingSpan(4), 1);
    EXPECT_EQ(level.FittedHeight(), 64 + 3 * 25 + 1);
    EXPECT_EQ(level.colWidths, (std::vector<int>{kMeasureSampleWidth, 96, 96, 96, 224}));

    const TResultTable& magnetic = b.tables[kBackgroundMagnetic];
    EXPECT_EQ(magnetic.rowHeights, (std::vector<int>{48, 24, 48, 48}));
    EXPECT_EQ(magnetic.FittedHeight(), 48 + 3 * 49 + 1);

    EXPECT_EQ(b.tables[0].rowHeights, (std::vector<int>{64, 64, 64}));
    EXPECT_EQ(b.tables[0].HeadingSpan(4), 1);
    EXPECT_TRUE(b.tables[0].editorAlwaysOpen);
    EXPECT_EQ(b.tables[0].caption, "Результаты измерений уровней ЭМП");
    EXPECT_EQ(b.tables[kLuminance].colCount, 3);
    EXPECT_FALSE(b.tables[kHiddenTableIndex].visible);

    const std::vector<int> tops = LayOutTables(b.tables, 10);
    EXPECT_EQ(tops[1], 10 + b.tables[0].FittedHeight() + 40);
}

TEST(ResultTables, DisplayOrderOfTheGrids) {
    const TResultTables t = CreatedResultTables();
    std::vector<std::string> grids, labels;
    for (const TResultTable& table : t) {
        grids.push_back(table.gridName);
        labels.push_back(table.labelName);
    }
    EXPECT_EQ(grids, (std::vector<std::string>{"Grid1", "Grid10", "Grid2", "Grid3", "Grid4", "Grid5", "Grid6", "Grid7",
                                               "Grid8", "Grid9"}));
    EXPECT_EQ(labels[1], "GridLabel10");
}

TEST(ResultTables, VisitedEmptyCellsHoldASpace) {
    TResultTable t = CreatedResultTables()[0];
    t.Cell(1, 1) = "A";
    t.VisitCell(1, 1);
    t.VisitCell(2, 1);
    t.VisitCell(9, 9);  // outside: nothing
    EXPECT_EQ(t.Cell(1, 1), "A");
    EXPECT_EQ(t.Cell(2, 1), " ");
}

TEST(ResultTables, FormatLevel) {
    const std::pair<double, const char*> cases[] = {{-999, ""},  {-999.0004, ""}, {-998.99, "-998.99"}, {12.3, "12.30"},
                                                    {0, "0.00"}, {-1, "-1.00"},   {2.675, "2.68"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatLevel(value), text) << value;
}
