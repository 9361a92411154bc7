#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <functional>

#include "MainformFixture.h"
#include "base/Clock.h"
#include "storage/DBDataAdapter.h"
#include "storage/FileDataAdapter.h"
#include "support/RawSqlite.h"

namespace zorvex::test {
namespace {

TDateTime At(int y, int mo, int d, int h = 10, int mi = 0, int s = 0) {
    return EncodeDateTime(y, mo, d, h, mi, s, 0);
}

// ---- layout per mode and kind ------------------------------------------------------

struct LayoutCase {
    int mode;
    int kind;
    std::vector<std::string> header;  // "row 0|row 1" per column
    int valueWidth;                   // width of the first value column
    int limRows;                      // 0: level row hidden
    friend void PrintTo(const LayoutCase& c, std::ostream* os) { *os << "mode " << c.mode << " kind " << c.kind; }
};

class LayoutTest : public MainformTest, public ::testing::WithParamInterface<LayoutCase> {};

const std::vector<std::string> kFixedColumns = {"Ячейка|", "Рабочее|место", "Уровень|по высоте", "Дата|", "Время|"};

std::vector<std::string> Single(std::vector<std::string> values) {
    std::vector<std::string> all = kFixedColumns;
    all.insert(all.end(), values.begin(), values.end());
    return all;
}

TEST_P(LayoutTest, HeaderRowsWidthsAndLevelRow) {
    const LayoutCase& c = GetParam();
    Show(TMeasureDataP{}, c.mode, c.kind);
    ASSERT_EQ(form->DataGrid->ColCount(), static_cast<int>(c.header.size()));
    for (int col = 0; col < form->DataGrid->ColCount(); ++col) {
        const QString got = Cell(col, 0) + "|" + Cell(col, 1);
        EXPECT_EQ(got.toStdString(), c.header[col]) << "column " << col;
    }
    const int f = form->FirstValueColumn();
    const int titleWidth = form->DataGrid->fontMetrics().horizontalAdvance(Cell(f, 0)) + 8;
    EXPECT_EQ(form->DataGrid->ColWidth(f), std::max(c.valueWidth, titleWidth));
    // An empty list: two header rows and one empty data row.
    EXPECT_EQ(form->DataGrid->RowCount(), 3);
    EXPECT_EQ(form->DataGrid->FixedRows(), 2);
    for (int col = 0; col < form->DataGrid->ColCount(); ++col) EXPECT_EQ(Cell(col, 2), "");
    EXPECT_EQ(form->LimPnl->isHidden(), c.limRows == 0);
    if (c.limRows > 0) {
        EXPECT_EQ(form->LimGrid->RowCount(), c.limRows);
        EXPECT_EQ(form->LimGrid->ColCount(), form->DataGrid->ColCount());
    }
}

INSTANTIATE_TEST_SUITE_P(
    ModesAndKinds, LayoutTest,
    ::testing::Values(LayoutCase{0, 0, Single({"Магнитное поле|нТл", "Электрическое поле|В/м"}), 128, 3},
                      LayoutCase{0, 1, Single({"Магнитное поле|нТл", "Полоса|", "Режекция|"}), 192, 4},
                      LayoutCase{0, 2, Single({"Электрическое поле|В/м", "Полоса|", "Режекция|"}), 192, 4},
                      LayoutCase{0, 3, Single({"Значение|нТл", "Полоса|"}), 192, 0},
                      LayoutCase{0, 4, Single({"Значение|В/м", "Полоса|"}), 192, 0},
                      LayoutCase{1, 0, {"Магнитное поле|нТл", "Электрическое поле|В/м"}, 128, 3},
                      LayoutCase{1, 1, {"Магнитное поле|нТл"}, 192, 3},
                      LayoutCase{1, 2, {"Электрическое поле|В/м"}, 192, 3}, LayoutCase{1, 3, {"Значение|нТл"}, 192, 0},
                      LayoutCase{1, 4, {"Значение|В/м"}, 192, 0}));

TEST_F(MainformTest, LevelRowShowsBothBandsInSingleModeAndTheCurrentBandInMonitoring) {
    TMeasureDataP data;
    data(0, 1).Records = {Record(1, At(2012, 5, 1), 10, -1, 1)};
    data(1, 1).Records = {Record(1, At(2012, 5, 1), 10, -1, 1)};
    Show(data, kMethodSingle, 1);
    EXPECT_EQ(form->LimGrid->Cell(4, 2), "Полоса 5Гц - 2кГц:");
    EXPECT_EQ(form->LimGrid->Cell(5, 2), "250.00");
    EXPECT_EQ(form->LimGrid->Cell(5, 3), "25.00");
    Show(data, kMethodMonitoring, 1);
    EXPECT_EQ(form->LimGrid->Cell(0, 0), "Магнитное поле");
    EXPECT_EQ(form->LimGrid->Cell(0, 2), "25.00");
    Show(data, kMethodSingle, 0);
    EXPECT_EQ(form->LimGrid->Cell(5, 2), "5000.00");
    EXPECT_EQ(form->LimGrid->Cell(6, 2), "500.00");
}

// ---- cell texts and captions ----------------------------------------------------------

TEST_F(MainformTest, SingleRowsShowNumberWorkplaceHeightDateTimeAndValues) {
    TMeasureDataP data;
    TMeasureRecord r0 = Record(0, At(2012, 5, 1, 8, 3, 7), -1, 12.5, 0, 0, 3);
    r0.workplace = 7;
    r0.height = 3;
    data(0, 0).Records = {r0, Record(0, At(2012, 5, 1, 9), 0.125, -1)};
    data(0, 1).Records = {Record(1, At(2012, 5, 1), -1, 0, 1, 1)};
    data(0, 3).Records = {Record(3, At(2012, 5, 1), 5, 0, 2)};

    Show(data, kMethodSingle, 0);
    const std::vector<QString> row2 = {"3", "7", "1.5", "01.05.2012", "08:03:07", "", "12.50"};
    for (int col = 0; col < 7; ++col) EXPECT_EQ(Cell(col, 2), row2[col]) << col;
    EXPECT_EQ(Cell(2, 3), "0.0");
    EXPECT_EQ(Cell(5, 3), "0.13");
    EXPECT_EQ(Cell(6, 3), "");

    Show(data, kMethodSingle, 1);
    EXPECT_EQ(Cell(5, 2), "-1.00");  // no sign test for kinds 1..4
    EXPECT_EQ(Cell(6, 2), "2кГц - 400кГц");
    EXPECT_EQ(Cell(7, 2), "50Гц");

    Show(data, kMethodSingle, 3);
    EXPECT_EQ(Cell(5, 2), "5.00");
    EXPECT_EQ(Cell(6, 2), "10кГц - 30кГц");
}

TEST_F(MainformTest, TabCaptionsCarryTheCountsOfTheCurrentMode) {
    EXPECT_EQ(form->TabControl1->tabText(0), "50Гц");
    TMeasureDataP data;
    for (int i = 0; i < 12; ++i) data(0, 1).Records.push_back(Record(1, At(2012, 5, 1, 10, i), 1, -1));
    data(1, 0).Records = {Record(0, At(2012, 5, 1), 1, 1)};
    Show(data, kMethodSingle, 1);
    EXPECT_EQ(form->TabControl1->tabText(1), "СВТ - Магнитное поле (12)");
    EXPECT_EQ(form->TabControl1->tabText(0), "50Гц");
    EXPECT_EQ(form->DataGrid->RowCount(), 14);
    EXPECT_EQ(Cell(0, 13), "1");
    form->N2Click();
    EXPECT_EQ(form->TabControl1->tabText(0), "50Гц (1)");
    EXPECT_EQ(form->TabControl1->tabText(1), "СВТ - Магнитное поле");
}

TEST_F(MainformTest, MonitoringShowsOneRunOfValuesWithItsBand) {
    TMeasureDataP data;
    data(1, 1).Records = {
        Record(1, At(2012, 5, 1, 10, 0, 0), 1.5, -1, 0, 1), Record(1, At(2012, 5, 1, 10, 0, 10), 2.5, -1, 0, 1),
        Record(1, At(2012, 5, 1, 10, 3, 30), 3.5, -1, 0, 1), Record(1, At(2012, 5, 1, 10, 8, 30), 4.5, -1, 1, 0)};
    Show(data, kMethodMonitoring, 1);
    ASSERT_EQ(form->MonComboBox->count(), 2);
    EXPECT_EQ(form->MonComboBox->itemText(0), "01.05.2012 10:00:00");
    EXPECT_EQ(form->MonComboBox->itemText(1), "01.05.2012 10:08:30");
    EXPECT_EQ(form->ShownCount(), 3);
    EXPECT_EQ(form->DataGrid->RowCount(), 5);
    EXPECT_EQ(Cell(0, 4), "3.50");
    EXPECT_EQ(form->BandLabel->text(), "Полоса: 5Гц - 2кГц (режекция)");
    EXPECT_EQ(form->RecordOfRow(2), nullptr);  // monitoring rows are bound to nothing
    EXPECT_FALSE(form->Graph->pixmap().isNull());
    EXPECT_EQ(form->LegendLabels[0]->text(), "Магнитное поле");
    EXPECT_TRUE(form->Shapes[1]->isHidden());

    // A later run in another band shows its own band (a history load can join such runs).
    form->MonComboBox->setCurrentIndex(1);
    EXPECT_EQ(form->FirstIndex(), 3);
    EXPECT_EQ(form->DataGrid->RowCount(), 3);
    EXPECT_EQ(Cell(0, 2), "4.50");
    EXPECT_EQ(form->BandLabel->text(), "Полоса: 2кГц - 400кГц");
}

// ---- newest data ---------------------------------------------------------------------

struct NewestCase {
    const char* name;
    std::vector<std::tuple<int, int, TDateTime>> lastRecords;  // method, kind, time
    bool found;
    int mode;
    int kind;
    friend void PrintTo(const NewestCase& c, std::ostream* os) { *os << c.name; }
};

class NewestTest : public MainformTest, public ::testing::WithParamInterface<NewestCase> {};

TEST_P(NewestTest, SwitchesToTheListWithTheNewestRecord) {
    const NewestCase& c = GetParam();
    TMeasureDataP data;
    for (const auto& [method, kind, time] : c.lastRecords) {
        data(method, kind).Records.push_back(Record(kind, time, 1, 1));
    }
    form->TabControl1->setCurrentIndex(4);  // start from single mode, kind 4
    form->TakeOverMatrix(data, false);
    EXPECT_EQ(form->SelectNewestData(), c.found);
    EXPECT_EQ(form->Mode(), c.mode);
    EXPECT_EQ(form->Kind(), c.kind);
    EXPECT_EQ(form->TabControl1->currentIndex(), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NewestTest,
    ::testing::Values(NewestCase{"Empty", {}, false, 0, 4},
                      NewestCase{"LaterSingleWins", {{1, 0, At(2012, 1, 1)}, {0, 2, At(2012, 1, 2)}}, true, 0, 2},
                      NewestCase{"TieGoesToMonitoring", {{0, 0, At(2012, 1, 1)}, {1, 3, At(2012, 1, 1)}}, true, 1, 3},
                      NewestCase{"TieGoesToLowerKind", {{0, 3, At(2012, 1, 1)}, {0, 1, At(2012, 1, 1)}}, true, 0, 1},
                      NewestCase{"NoTimeAfterZeroTakesFirstInScanOrder", {{0, 2, 0.0}, {1, 4, -1.0}}, true, 1, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainformTest, ALoadWithoutMeasurementsLeavesNoRowBoundToTheReplacedMatrix) {
    TMeasureDataP data;
    data(0, 0).Records = {Record(0, At(2012, 1, 1), 1, 1), Record(0, At(2012, 1, 2), 2, 2)};
    Show(data, kMethodSingle, 0);
    ASSERT_NE(form->RecordOfRow(3), nullptr);
    form->TakeOverMatrix(TMeasureDataP{}, false);
    EXPECT_EQ(form->RecordOfRow(2), nullptr);
    EXPECT_EQ(Cell(0, 2), "");
    EXPECT_FALSE(form->SelectNewestData());
}

// ---- marking -------------------------------------------------------------------------

struct MarkCase {
    const char* name;
    int mode;
    int kind;
    std::vector<TMeasureRecord> records;
    int col;
    std::vector<bool> marked;  // per data row
    friend void PrintTo(const MarkCase& c, std::ostream* os) { *os << c.name; }
};

class MarkingTest : public MainformTest, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(MarkingTest, ValuesAtOrAboveTheLevelOfTheirOwnBandAreMarked) {
    const MarkCase& c = GetParam();
    TMeasureDataP data;
    data(c.mode, c.kind).Records = c.records;
    Show(data, c.mode, c.kind);
    for (std::size_t i = 0; i < c.marked.size(); ++i) {
        EXPECT_EQ(form->IsMarkedCell(c.col, static_cast<int>(i) + 2), c.marked[i]) << "row " << i + 2;
    }
}

const TDateTime kT = 41030.5;

INSTANTIATE_TEST_SUITE_P(
    Cases, MarkingTest,
    ::testing::Values(
        MarkCase{"Kind0Magnetic", 0, 0, {Record(0, kT, 5000.00, -1), Record(0, kT, 4999.99, -1)}, 5, {true, false}},
        MarkCase{"Kind0Electric", 0, 0, {Record(0, kT, -1, 500), Record(0, kT, -1, 499.99)}, 6, {true, false}},
        MarkCase{"Kind1Band2HasNoLevel", 0, 1, {Record(1, kT, 1e6, -1, 2)}, 5, {false}},
        MarkCase{"Kind1Band2AfterALowBandRecord",
                 0,
                 1,
                 {Record(1, kT, 1, -1, 0), Record(1, kT, 1e6, -1, 2)},
                 5,
                 {false, false}},
        MarkCase{"Kind3NeverMarked", 0, 3, {Record(3, kT, 1e7, -1)}, 5, {false}},
        MarkCase{"MonitoringNeverMarked", 1, 0, {Record(0, kT, 9000, -1)}, 0, {false}},
        MarkCase{"BandColumnIsNoValue", 0, 1, {Record(1, kT, 9000, -1)}, 6, {false}}),
    [](const auto& info) { return std::string(info.param.name); });

// Lists of kinds 1 and 2 that mix both bands, starting with either: each value
// just below, at and just above the default level of its own band (250 / 25 nT,
// 25 / 2.5 V/m).
std::vector<MarkCase> MixedBandCases() {
    static const char* const names[2][2] = {{"Kind1StartingLow", "Kind1StartingHigh"},
                                            {"Kind2StartingLow", "Kind2StartingHigh"}};
    std::vector<MarkCase> cases;
    for (const int kind : {1, 2}) {
        const double levels[2] = {kind == 1 ? 250.0 : 25.0, kind == 1 ? 25.0 : 2.5};
        for (const int firstBand : {0, 1}) {
            MarkCase c{names[kind - 1][firstBand], 0, kind, {}, 5, {}};
            for (const int band : {firstBand, 1 - firstBand}) {
                for (const double delta : {-0.01, 0.0, 0.01}) {
                    const double v = levels[band] + delta;
                    c.records.push_back(kind == 1 ? Record(1, kT, v, -1, band) : Record(2, kT, -1, v, band));
                    c.marked.push_back(delta >= 0);
                }
            }
            cases.push_back(c);
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(MixedBands, MarkingTest, ::testing::ValuesIn(MixedBandCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainformTest, MarkedValueIsDrawnInTheExceedanceColour) {
    EXPECT_EQ(TMainform::ExceedanceColor(0, 0, 0), QColor(255, 0, 127));
    EXPECT_EQ(TMainform::ExceedanceColor(0, 0, 1), QColor(255, 64, 0));
    EXPECT_EQ(TMainform::ExceedanceColor(1, 1, 0), QColor(255, 64, 64));
    EXPECT_EQ(TMainform::ExceedanceColor(2, 1, 1), QColor(255, 0, 64));
    EXPECT_FALSE(TMainform::ExceedanceColor(1, 2, 0).isValid());

    TMeasureDataP data;
    data(0, 0).Records = {Record(0, kT, 5000, -1), Record(0, kT, 4999.99, -1)};
    Show(data, kMethodSingle, 0);
    form->resize(965, 632);
    const QImage image = form->DataGrid->grab().toImage();
    const auto countColour = [&](int row, const QColor& colour) {
        const QRect cell = form->DataGrid->CellRect(5, row);
        int n = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) n += image.pixelColor(x, y) == colour ? 1 : 0;
        }
        return n;
    };
    EXPECT_GT(countColour(2, QColor(255, 0, 127)), 0);
    EXPECT_EQ(countColour(3, QColor(255, 0, 127)), 0);
}

TEST_F(MainformTest, AMarkedHighBandValueIsDrawnInTheHighBandColour) {
    // 30 nT reaches the 25 nT level of its 2 kHz - 400 kHz band, in a list that starts in the low band.
    TMeasureDataP data;
    data(0, 1).Records = {Record(1, kT, 100, -1, 0), Record(1, kT, 30, -1, 1)};
    Show(data, kMethodSingle, 1);
    form->resize(965, 632);
    const QImage image = form->DataGrid->grab().toImage();
    const QColor highBand = TMainform::ExceedanceColor(1, 1, 0);
    ASSERT_EQ(highBand, QColor(255, 64, 64));
    const auto count = [&](int row, const QColor& colour) {
        const QRect cell = form->DataGrid->CellRect(5, row);
        int n = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) n += image.pixelColor(x, y) == colour ? 1 : 0;
        }
        return n;
    };
    EXPECT_GT(count(3, highBand), 0);
    EXPECT_EQ(count(3, TMainform::ExceedanceColor(1, 0, 0)), 0);
    EXPECT_EQ(count(2, highBand), 0);
}

TEST_F(MainformTest, LevelRowCaptionsStandWholeWithAGapBeforeTheirValues) {
    TMeasureDataP data;
    data(0, 1).Records = {Record(1, kT, 10, -1, 0)};
    Show(data, kMethodSingle, 1);
    form->resize(965, 632);
    TStringGrid& grid = *form->LimGrid;
    const QImage image = grid.grab().toImage();
    const QColor background(239, 239, 239);
    for (const int row : {2, 3}) {
        SCOPED_TRACE(row);
        const QString caption = grid.Cell(4, row);
        ASSERT_TRUE(caption.startsWith("Полоса ")) << caption.toStdString();
        const QRect value = grid.CellRect(5, row);
        // The caption's cell joins the empty columns before the value.
        const QRect joined = grid.CellRect(0, row);
        EXPECT_EQ(joined.left(), grid.CellRect(0, 0).left());
        EXPECT_NEAR(joined.right() + 1, value.left(), 1);  // the grid line between them
        // Columns of the caption's row that hold ink, and whether a grid line crosses the text.
        int left = value.left(), right = -1;
        std::vector<bool> fullColumn(value.left(), false);
        for (int x = 0; x < value.left(); ++x) {
            bool full = true;
            for (int y = value.top() + 1; y < value.bottom(); ++y) {
                const QColor c = image.pixelColor(x, y);
                if (c == background) full = false;
                if (qGray(c.rgb()) < 128) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
            fullColumn[x] = full;
        }
        ASSERT_GE(right, left);
        EXPECT_GE(right - left + 1, grid.fontMetrics().horizontalAdvance(caption) - 4);
        EXPECT_GE(value.left() - right, 5) << "the caption touches its value";
        for (int x = left; x <= right; ++x) EXPECT_FALSE(fullColumn[x]) << "a grid line crosses the caption at " << x;
    }
}

TEST_F(MainformTest, AValueExactlyAtAUserLevelIsMarked) {
    // Levels such as 2.7 have no exact binary form; the value shown as 2.70 reaches it.
    form->SetLevel(msfEFHB, 2.7);
    form->ApplyLevels();
    TMeasureDataP data;
    data(0, 2).Records = {Record(2, kT, -1, 2.7, 1), Record(2, kT, -1, 2.69, 1)};
    Show(data, kMethodSingle, 2);
    EXPECT_TRUE(form->IsMarkedCell(5, 2));
    EXPECT_FALSE(form->IsMarkedCell(5, 3));
}

// ---- editing -------------------------------------------------------------------------

class EditingTest : public MainformTest {
protected:
    EditingTest() {
        TMeasureDataP data;
        data(0, 0).Records = {Record(0, At(2012, 5, 1, 10), 1, 1), Record(0, At(2012, 5, 1, 11), 2, 2)};
        form->TakeOverMatrix(data, false);
        form->SelectNewestData();
        form->StoreMeasurements();
        form->FillDataGrid();
    }
    std::string Stored(const char* column, int id) {
        return RawRows(Data("data.db"),
                       "select " + std::string(column) + " from measurements where id=" + std::to_string(id))[0][0];
    }
    int Beeps() const {
        return static_cast<int>(std::count_if(prompts->shown.begin(), prompts->shown.end(),
                                              [](const auto& s) { return s.kind == "beep"; }));
    }
};

TEST_F(EditingTest, WorkplaceIsWrittenToTheDatabaseAndInvalidTextBeeps) {
    form->DataGrid->SetCurrentCell(1, 2);
    EXPECT_TRUE(form->DataGrid->EditingEnabled());
    const int id = form->RecordOfRow(2)->id;
    ASSERT_NE(id, 0);
    form->DataGrid->EditCellText(1, 2, " 12 ");
    EXPECT_EQ(Stored("workplace", id), "12");
    form->DataGrid->EditCellText(1, 2, "12a");
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(Stored("workplace", id), "12");
    EXPECT_EQ(Cell(1, 2), "12a");  // the cell keeps the typed text
    form->DataGrid->EditCellText(1, 2, "");
    EXPECT_EQ(Stored("workplace", id), "0");
    EXPECT_EQ(Stored("workplace", form->RecordOfRow(3)->id), "0");

    form->DataGrid->SetCurrentCell(3, 2);
    EXPECT_FALSE(form->DataGrid->EditingEnabled());
}

TEST_F(EditingTest, HeightComesFromTheComboAndStoresHalfMetres) {
    form->DataGrid->SetCurrentCell(2, 3);
    ASSERT_TRUE(form->MHeightCBox->isVisible());
    const int id = form->RecordOfRow(3)->id;
    form->MHeightCBox->setCurrentIndex(3);
    emit form->MHeightCBox->activated(3);
    EXPECT_FALSE(form->MHeightCBox->isVisible());
    EXPECT_EQ(Stored("height", id), "3");
    form->FillDataGrid();
    EXPECT_EQ(Cell(2, 3), "1.5");

    form->DataGrid->EditCellText(2, 3, "0,5");
    EXPECT_EQ(Stored("height", id), "1");
    form->DataGrid->EditCellText(2, 3, "2.0");
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(Stored("height", id), "1");

    // "0.0" is no item: leaving the combo without a choice changes nothing.
    form->DataGrid->SetCurrentCell(2, 2);
    ASSERT_TRUE(form->MHeightCBox->isVisible());
    EXPECT_EQ(form->MHeightCBox->currentIndex(), -1);
    form->MHeightCBoxChange();
    EXPECT_FALSE(form->MHeightCBox->isVisible());
    EXPECT_EQ(Stored("height", form->RecordOfRow(2)->id), "0");
    EXPECT_EQ(Beeps(), 1);
}

TEST_F(EditingTest, TheHeightCellOnlyEverEditsThroughItsList) {
    TStringGrid& grid = *form->DataGrid;
    grid.SetCurrentCell(2, 2);
    ASSERT_TRUE(form->MHeightCBox->isVisible());
    EXPECT_FALSE(grid.EditingEnabled());  // no text editor for the height
    const auto choose = [&](int item) {
        form->MHeightCBox->setCurrentIndex(item);
        emit form->MHeightCBox->activated(item);
        ASSERT_FALSE(form->MHeightCBox->isVisible());
    };
    choose(2);
    EXPECT_EQ(Stored("height", form->RecordOfRow(2)->id), "2");

    // Asked again on the cell that stays current: a second click, a double click, a typed key.
    const QPoint centre = grid.visualRect(grid.model()->index(0, 2)).center();
    const auto mouse = [&](std::initializer_list<QEvent::Type> types) {
        for (const auto type : types) {
            const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, centre, grid.viewport()->mapToGlobal(centre), Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(grid.viewport(), &event);
        }
    };
    const auto type = [&](int key, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(&grid, &event);
    };
    struct Request {
        const char* name;
        std::function<void()> send;
    };
    const std::vector<Request> requests = {
        {"second click",
         [&] {
             mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease});
         }},
        {"double click",
         [&] {
             mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                    QEvent::MouseButtonRelease});
         }},
        {"typing", [&] { type(Qt::Key_5, "5"); }},
    };
    for (const Request& request : requests) {
        SCOPED_TRACE(request.name);
        ASSERT_EQ(grid.Row(), 2);
        ASSERT_EQ(grid.Col(), 2);
        request.send();
        QApplication::processEvents();
        EXPECT_FALSE(grid.IsEditing());
        EXPECT_TRUE(form->MHeightCBox->isVisible());
        choose(1);
    }
    EXPECT_EQ(Beeps(), 0);
    EXPECT_EQ(Cell(2, 2), "0.5");
    EXPECT_EQ(Stored("height", form->RecordOfRow(2)->id), "1");

    // The workplace beside it is still typed into.
    grid.SetCurrentCell(1, 2);
    type(Qt::Key_7, "7");
    EXPECT_TRUE(grid.IsEditing());
    EXPECT_FALSE(form->MHeightCBox->isVisible());
    EXPECT_EQ(Stored("workplace", form->RecordOfRow(2)->id), "7");
}

TEST_F(EditingTest, RecordsOfAMeasurementFileNeverWriteIntoTheMainDatabase) {
    TMeasureDataP copy = form->Matrix();
    const std::string file = Data("set.zorvex");
    TFileDataAdapter files;
    files.PutData(copy, file);
    TMeasureDataP fromFile;
    files.GetData(file, fromFile);
    ASSERT_EQ(fromFile(0, 0).Records[0].id, form->Matrix()(0, 0).Records[0].id);  // the same ids, other rows

    form->TakeOverMatrix(fromFile, false);
    form->SetupDataGrid();
    form->DataGrid->EditCellText(1, 2, "44");
    EXPECT_EQ(form->Matrix()(0, 0).Records[0].workplace, 44);
    EXPECT_EQ(Stored("workplace", fromFile(0, 0).Records[0].id), "0");
}

TEST_F(EditingTest, NothingIsEditableInMonitoringMode) {
    form->N2Click();
    form->DataGrid->SetCurrentCell(0, 2);
    EXPECT_FALSE(form->DataGrid->EditingEnabled());
    EXPECT_FALSE(form->MHeightCBox->isVisible());
}

// ---- history ---------------------------------------------------------------------------

TEST_F(MainformTest, HistoryTreeListsStoredDatesAndANodeLoadsItsPeriod) {
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 0);
    TMeasureDataP data;
    data(0, 0).Records = {Record(0, At(2010, 3, 5), 1, 1), Record(0, At(2010, 4, 5, 9), 2, 2)};
    data(1, 2).Records = {Record(2, At(2010, 4, 5, 12), -1, 3), Record(2, At(2010, 4, 30, 23, 59, 58), -1, 4)};
    data(0, 3).Records = {Record(3, At(2011, 1, 5), 5, -1)};
    TDBDataAdapter store;
    store.PutData(data, "");
    form->BuildDateTree();

    QTreeWidget& tree = *form->DateTree;
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    QTreeWidgetItem* y2010 = tree.topLevelItem(0);
    EXPECT_EQ(y2010->text(0), "2010");
    ASSERT_EQ(y2010->childCount(), 2);
    EXPECT_EQ(y2010->child(0)->text(0), "Март");
    EXPECT_EQ(y2010->child(1)->text(0), "Апрель");
    ASSERT_EQ(y2010->child(1)->childCount(), 2);
    EXPECT_EQ(y2010->child(1)->child(0)->text(0), "5");
    EXPECT_EQ(y2010->child(1)->child(1)->text(0), "30");
    EXPECT_EQ(tree.topLevelItem(1)->text(0), "2011");
    EXPECT_EQ(tree.topLevelItem(1)->child(0)->child(0)->text(0), "5");
    const TDateNodeRecord april = TMainform::NodeRecord(y2010->child(1));
    EXPECT_EQ(april.level, 1);
    EXPECT_EQ(april.month, 4);

    tree.setCurrentItem(y2010->child(1));
    emit tree.itemClicked(y2010->child(1), 0);
    EXPECT_EQ(form->Matrix().TotalRecords(), 3u);
    EXPECT_EQ(form->Matrix()(0, 0).Records.size(), 1u);
    EXPECT_EQ(form->Matrix()(1, 2).Records.size(), 2u);
    EXPECT_EQ(form->Mode(), kMethodMonitoring);
    EXPECT_EQ(form->Kind(), 2);
    EXPECT_TRUE(form->IdsOfMainDatabase());

    QTreeWidgetItem* day = tree.topLevelItem(1)->child(0)->child(0);
    tree.setCurrentItem(day);
    emit tree.itemClicked(day, 0);
    EXPECT_EQ(form->Matrix().TotalRecords(), 1u);
    EXPECT_EQ(form->Mode(), kMethodSingle);
    EXPECT_EQ(form->Kind(), 3);
    EXPECT_TRUE(prompts->shown.empty());
}

TEST_F(MainformTest, HistoryNodesLoadTheFirstAndLastSecondOfTheirPeriod) {
    // Rows at the first and the last second of months and years; numbers tell them apart.
    const std::vector<TDateTime> times = {
        At(2011, 12, 31, 23, 59, 59), At(2012, 1, 1, 0, 0, 0), At(2012, 1, 31, 23, 59, 59),  At(2012, 2, 1, 0, 0, 0),
        At(2012, 2, 29, 23, 59, 59),  At(2012, 3, 1, 0, 0, 0), At(2012, 12, 31, 23, 59, 59), At(2013, 1, 1, 0, 0, 0)};
    TMeasureDataP data;
    for (std::size_t i = 0; i < times.size(); ++i) {
        data(0, 0).Records.push_back(Record(0, times[i], 1, 1, 0, 0, static_cast<int>(i) + 1));
    }
    TDBDataAdapter store;
    store.PutData(data, "");
    form->BuildDateTree();

    struct Case {
        int year, month, day;  // month 0: the year node; day 0: the month node
        std::vector<int> numbers;
    };
    const std::vector<Case> cases = {
        {2011, 0, 0, {1}},    {2012, 0, 0, {2, 3, 4, 5, 6, 7}},
        {2013, 0, 0, {8}},    {2012, 1, 0, {2, 3}},
        {2012, 2, 0, {4, 5}}, {2012, 12, 0, {7}},
        {2011, 12, 31, {1}},  {2012, 1, 1, {2}},
        {2012, 2, 29, {5}},   {2012, 12, 31, {7}},
    };
    QTreeWidget& tree = *form->DateTree;
    const auto find = [&](const Case& c) -> QTreeWidgetItem* {
        for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
            const TDateNodeRecord r = TMainform::NodeRecord(*it);
            const int level = c.month == 0 ? 0 : c.day == 0 ? 1 : 2;
            if (r.level == level && r.year == c.year && (level < 1 || r.month == c.month) &&
                (level < 2 || r.day == c.day))
                return *it;
        }
        return nullptr;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        QTreeWidgetItem* node = find(c);
        ASSERT_NE(node, nullptr);
        tree.setCurrentItem(node);
        emit tree.itemClicked(node, 0);
        std::vector<int> numbers;
        for (const auto& r : form->Matrix()(0, 0).Records) numbers.push_back(r.number);
        EXPECT_EQ(numbers, c.numbers);
    }
    EXPECT_TRUE(prompts->Messages().empty());
}

TEST_F(MainformTest, HistoryTreeIsTheSameWithAndWithoutTheTimeIndex) {
    // Stored out of order, at the first and last second of days, several a day.
    TMeasureDataP data;
    data(0, 0).Records = {Record(0, At(2014, 6, 1, 23, 59, 59), 1, 1), Record(0, At(2013, 12, 31, 0, 0, 0), 1, 1),
                          Record(0, At(2014, 6, 1, 0, 0, 0), 1, 1), Record(0, At(2013, 12, 31, 23, 59, 59), 1, 1),
                          Record(0, At(2014, 6, 2, 0, 0, 0), 1, 1)};
    TDBDataAdapter().PutData(data, "");
    const auto captions = [&] {
        std::vector<std::string> all;
        for (QTreeWidgetItemIterator it(form->DateTree); *it != nullptr; ++it) {
            std::string path;
            for (const QTreeWidgetItem* node = *it; node != nullptr; node = node->parent())
                path = node->text(0).toStdString() + "/" + path;
            all.push_back(path);
        }
        return all;
    };
    const std::vector<std::string> expected = {"2013/", "2013/Декабрь/", "2013/Декабрь/31/",
                                               "2014/", "2014/Июнь/",     "2014/Июнь/1/",
                                               "2014/Июнь/2/"};
    ASSERT_EQ(RawRows(Data("data.db"), "select count(*) from sqlite_master where name = 'measurements_time'")[0][0],
              "1");
    form->BuildDateTree();
    EXPECT_EQ(captions(), expected);
    MainDatabase().Execute("drop index measurements_time");
    form->BuildDateTree();
    EXPECT_EQ(captions(), expected);
}

TEST_F(MainformTest, HistoryPanelWidensTheWindowAndShrinksItBack) {
    form->resize(965, 632);
    const int before = form->width();
    form->HistoryBtn->click();
    EXPECT_TRUE(form->HistoryShown());
    EXPECT_FALSE(form->HistoryPnl->isHidden());
    EXPECT_EQ(form->width(), before + 173);
    EXPECT_TRUE(form->N7->isChecked());
    form->N7->trigger();
    EXPECT_FALSE(form->HistoryShown());
    EXPECT_EQ(form->width(), before);
    EXPECT_FALSE(form->HistoryBtn->isChecked());
}

// ---- test data command and errors --------------------------------------------------------

TEST_F(MainformTest, CtrlTStoresTheTestDataAndShowsTheNewestList) {
    auto clock = std::make_shared<FixedClock>(At(2013, 2, 3, 4, 5, 6));
    ClockScope clockScope(clock);
    prompts->inputAnswers = {"0", "3", "0", "0"};
    QApplication::setActiveWindow(form.get());
    QKeyEvent press(QEvent::KeyPress, Qt::Key_T, Qt::ControlModifier);
    QApplication::sendEvent(form->DataGrid, &press);

    EXPECT_EQ(RawRows(Data("data.db"), "select count(*) from measurements where kind=3")[0][0], "6");
    EXPECT_EQ(RawRows(Data("data.db"), "select count(*) from measurements where kind=1")[0][0], "6");
    // All records carry the same time: the tie goes to the lower kind.
    EXPECT_EQ(form->Mode(), kMethodSingle);
    EXPECT_EQ(form->Kind(), 1);
    EXPECT_EQ(form->TabControl1->tabText(3), "Магнитное поле (6)");
    EXPECT_NE(form->RecordOfRow(2)->id, 0);
    ASSERT_EQ(form->DateTree->topLevelItemCount(), 1);
    EXPECT_EQ(form->DateTree->topLevelItem(0)->text(0), "2013");
}

TEST_F(MainformTest, AFailingHandlerIsReportedAndTheWindowStaysUsable) {
    TMeasureDataP data;
    data(0, 1).Records = {Record(1, At(2012, 5, 1), 1, -1)};
    form->TakeOverMatrix(data, false);
    form->SelectNewestData();
    form->StoreMeasurements();
    ASSERT_EQ(form->DateTree->topLevelItemCount(), 1);
    RawExec(Data("data.db"), "drop table measurements");
    SetMainDatabase(nullptr);  // reopen so that no statement is cached
    SetMainDatabase(TSQLiteDatabase::Open(Data("data.db")));

    QTreeWidgetItem* year = form->DateTree->topLevelItem(0);
    form->DateTree->setCurrentItem(year);
    emit form->DateTree->itemClicked(year, 0);
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Error);
    EXPECT_NE(prompts->Messages()[0].find("measurements"), std::string::npos);
    EXPECT_EQ(form->Matrix()(0, 1).Records.size(), 1u);  // the failed load changed nothing

    // A failing key command too: the test source refuses a text that is no number.
    prompts->inputAnswers = {"x"};
    QApplication::setActiveWindow(form.get());
    QKeyEvent press(QEvent::KeyPress, Qt::Key_T, Qt::ControlModifier);
    QApplication::sendEvent(form->DataGrid, &press);
    ASSERT_EQ(prompts->Messages().size(), 2u);
    EXPECT_EQ(prompts->Messages()[1], "'x' is not a valid integer value");
    EXPECT_EQ(form->Matrix()(0, 1).Records.size(), 1u);

    form->N2Click();
    EXPECT_EQ(form->Mode(), kMethodMonitoring);
    form->TabControl1->setCurrentIndex(0);
    EXPECT_EQ(form->Kind(), 0);
}

TEST_F(MainformTest, MenuItemsCarryTheirShortcutsAndTheWindowHasNoStatusBar) {
    const std::vector<std::pair<const char*, QKeySequence>> shortcuts = {{"N9", QKeySequence(Qt::Key_F10)},
                                                                         {"N15", QKeySequence(Qt::Key_F4)},
                                                                         {"N4", QKeySequence(Qt::Key_F3)},
                                                                         {"N5", QKeySequence(Qt::Key_F2)},
                                                                         {"N17", QKeySequence(Qt::SHIFT | Qt::Key_F2)},
                                                                         {"N7", QKeySequence(Qt::CTRL | Qt::Key_H)},
                                                                         {"N14", QKeySequence(Qt::CTRL | Qt::Key_P)},
                                                                         {"N11", QKeySequence(Qt::Key_F1)}};
    for (const auto& [name, keys] : shortcuts) {
        auto* item = form->findChild<QAction*>(name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->shortcut(), keys) << name;
    }
    for (int n = 27; n <= 33; ++n) EXPECT_NE(form->findChild<QAction*>(QString("N%1").arg(n)), nullptr) << n;
    EXPECT_FALSE(form->N22->isVisible());
    EXPECT_EQ(form->findChild<QStatusBar*>(), nullptr);
}

TEST_F(MainformTest, AMissingHelpDocumentIsReported) {
    // The documents are looked for beside the program, where this test program has none.
    form->findChild<QAction*>("N21")->trigger();
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].kind, "message");
    EXPECT_TRUE(prompts->shown[0].text.starts_with("Документ не найден: ")) << prompts->shown[0].text;
    EXPECT_TRUE(prompts->shown[0].text.ends_with("/doc/sanpin.chm"));
}

}  // namespace
}  // namespace zorvex::test
