#include "protocol/ResultTables.h"

#include <cmath>
#include <optional>
#include <utility>

#include "base/Format.h"
#include "base/Numbers.h"
#include "base/Prompts.h"
#include "storage/Utilities.h"

namespace zorvex {

TWorkplaceResults::TWorkplaceResults() {
    for (auto& height : Values) height.fill(kNoValue);
}

void WalkResultWrites(const TMeasureDataP& measurements, const std::function<void(const TResultWrite&)>& write) {
    // Kinds 1 and 2 are walked after 3 and 4 so that their values win.
    for (const int kind : {kKindMagnetic, kKindElectric, kKindSvtMagnetic, kKindSvtElectric, kKind50Hz}) {
        const std::vector<TMeasureRecord>& records = measurements(kMethodSingle, kind).Records;
        for (std::size_t position = 0; position < records.size(); ++position) {
            const TMeasureRecord& r = records[position];
            if (r.workplace == 0 || r.height < 0 || r.height >= kHeightCodeCount) continue;
            const auto emit = [&](int slot, double value) {
                write(TResultWrite{r.workplace, r.height, slot, kind, position, value});
            };
            const bool bandFits = r.band <= kBandMid;
            switch (kind) {
                case kKindMagnetic:
                    if (bandFits) emit(rsMagneticBand0 + r.band, r.mvalue);
                    break;
                case kKindElectric:
                    if (bandFits) emit(rsElectricBand0 + r.band, r.evalue);
                    break;
                case kKindSvtMagnetic:
                    if (bandFits && r.mvalue >= 0) emit(rsMagneticBand0 + r.band, r.mvalue);
                    break;
                case kKindSvtElectric:
                    if (bandFits && r.evalue >= 0) emit(rsElectricBand0 + r.band, r.evalue);
                    break;
                default:  // 50 Hz background: the band plays no part
                    if (r.evalue >= 0) emit(rsBackgroundElectric, r.evalue);
                    if (r.mvalue >= 0) emit(rsBackgroundMagnetic, r.mvalue);
                    break;
            }
        }
    }
}

std::vector<TWorkplaceResults> CollectWorkplaces(const TMeasureDataP& measurements) {
    std::vector<TWorkplaceResults> rows;
    const auto find = [&rows](std::int32_t number) -> TWorkplaceResults* {
        for (TWorkplaceResults& row : rows)
            if (row.Number == number) return &row;
        return nullptr;
    };

    for (int kind = 0; kind < kKindCount; ++kind) {
        for (const TMeasureRecord& r : measurements(kMethodSingle, kind).Records) {
            if (r.workplace != 0 && !find(r.workplace)) {
                rows.emplace_back();
                rows.back().Number = r.workplace;
            }
        }
    }

    SortByCallbacks(
        0, static_cast<int>(rows.size()) - 1,
        [&rows](int i, int j) {
            return rows[i].Number < rows[j].Number ? -1 : rows[i].Number > rows[j].Number ? 1 : 0;
        },
        [&rows](int i, int j) { std::swap(rows[i], rows[j]); });

    WalkResultWrites(measurements, [&find](const TResultWrite& w) {
        find(w.workplace)->Values[static_cast<std::size_t>(w.height)][static_cast<std::size_t>(w.slot)] = w.value;
    });
    return rows;
}

std::string FormatLevel(double value) {
    if (std::fabs(value - kNoValue) < 0.001) return {};
    return Format("%.2f", {value});
}

std::string HeightHeading(int heightCode) {
    return Format("%.1f", {heightCode / 2.0});
}

// ---------------------------------------------------------------- tables

std::string TResultTable::CellOrEmpty(int col, int row) const {
    if (col < 0 || row < 0 || col >= colCount || row >= rowCount) return {};
    return Cell(col, row);
}

void TResultTable::Resize(int cols, int rows) {
    std::vector<std::string> resized(static_cast<std::size_t>(cols * rows));
    for (int r = 0; r < std::min(rows, rowCount); ++r)
        for (int c = 0; c < std::min(cols, colCount); ++c)
            resized[static_cast<std::size_t>(r * cols + c)] = std::move(Cell(c, r));
    cells = std::move(resized);
    colCount = cols;
    rowCount = rows;
    rowHeights.resize(static_cast<std::size_t>(rows), defaultRowHeight);
    colWidths.resize(static_cast<std::size_t>(cols), kCreatedColumnWidth);
}

void TResultTable::SetDefaultRowHeight(int height) {
    defaultRowHeight = height;
    rowHeights.assign(static_cast<std::size_t>(rowCount), height);
}

int TResultTable::FittedHeight() const {
    const int first = rowHeights.empty() ? defaultRowHeight : rowHeights[0];
    return first + (rowCount - 1) * (defaultRowHeight + 1) + 1;
}

int TResultTable::HeadingSpan(int col) const {
    int next = col + 1;
    while (next < colCount && Cell(next, 0).empty()) ++next;
    return next - col;
}

void TResultTable::VisitCell(int col, int row) {
    if (col < 0 || row < 0 || col >= colCount || row >= rowCount) return;
    if (Cell(col, row).empty()) Cell(col, row) = " ";
}

namespace {

constexpr std::string_view kSectionCaption = "Результаты измерений уровней ЭМП";
constexpr std::string_view kNoData = "Нет данных для формирования отчёта";
constexpr std::string_view kNumberHeading = "№ РМ";
constexpr std::string_view kHeightsHeading = "Измеренное значение на уровне по высоте, м";
constexpr std::string_view kTemporaryNorm =
    "Временные допустимые уровни ЭМП, создаваемые ПЭВМ на РМ  (табл.1 прил.2 СанПиН 2.2.2/2.4.1340)";

struct LevelTableDef {
    int index;
    std::string_view caption;
    int slot;  // -1: no values, typed in
    std::string_view normHeading;
    std::string_view normValue;
};

const std::array<LevelTableDef, 7> kLevelTables = {{
    {1, "Фоновая напряженность электрического поля в диапазоне частот 45 Гц - 55 Гц , В/м", rsBackgroundElectric,
     "Допустимый  уровень (п. 5.2 прило-жения 3 СанПиН 2.2.2/2.4.1340)", "500"},
    {2,
     "Напряженность электрического поля в диапазоне частот 5 Гц – 2 кГц с вырезанной полосой частот 45 Гц – 55 Гц "
     "(СанПиН 2.2.2/2.4.2620—10), В/м",
     rsElectricBand0 + kBandLow, kTemporaryNorm, "25"},
    {3, "Напряжённость электрического поля в диапозоне 2-400 кГц, В/м", rsElectricBand0 + kBandHigh, kTemporaryNorm,
     "2.5"},
    {4, "Фоновая плотность магнитного потока в диапазоне частот 45 Гц - 55 Гц, нТл", rsBackgroundMagnetic,
     "Допустимые значения (табл. 3 прилож. 2 СанПиН 2.2.2/2.4.1340)",
     "Отсутствие временной нестабильности изображения (мелькание)"},
    {5,
     "Плотность магнитного потока в диапазоне частот 5 Гц – 2 кГц с вырезанной полосой частот 45 Гц – 55 Гц "
     "(СанПиН 2.2.2/2.4.2620—10), нТл",
     rsMagneticBand0 + kBandLow, kTemporaryNorm, "250"},
    {6, "Плотность магнитного потока в диапазоне 2-400 кГц, нТл", rsMagneticBand0 + kBandHigh,
     "Допустимые значения (табл.3 прил.2 СанПиН 2.2.2/2.4.1340)", "25"},
    {7, "Напряженность электростатического поля,  кВ/м", -1, kTemporaryNorm, "15"},
}};

constexpr std::string_view kLuminanceCaption =
    "Неравномерность распределения яркости в поле зрения пользователя ПЭВМ, отн.ед.*";

// Starts a table afresh with its size, caption and number heading.
void StartTable(TResultTable& t, std::string_view caption, int cols, int rows, int fixedRows) {
    t.caption = std::string(caption);
    t.cells.clear();
    t.rowHeights.clear();
    t.colWidths.clear();
    t.rowCount = t.colCount = 0;
    t.defaultRowHeight = kCreatedRowHeight;
    t.Resize(cols, rows);
    t.fixedRows = fixedRows;
    t.Cell(0, 0) = std::string(kNumberHeading);
    t.colWidths[0] = kMeasureSampleWidth;
}

void BuildWorkplaceTable(TResultTable& t, int n) {
    StartTable(t, t.caption, 5, n + 1, 1);
    t.SetDefaultRowHeight(64);
    const std::array<std::string_view, 4> headings = {
        "Категория работ", "Местоположение РМ",
        "Тип, номер (инвентарный номер) монитора и периферийных устройств на РМ",
        "Тип, инвентарный номер защитного фильтра"};
    const std::array<int, 4> widths = {64, 128, 224, 224};
    for (int c = 1; c <= 4; ++c) {
        t.Cell(c, 0) = std::string(headings[c - 1]);
        t.colWidths[c] = widths[c - 1];
    }
    t.editorAlwaysOpen = true;
}

void BuildLevelTable(TResultTable& t, const LevelTableDef& def, const std::vector<TWorkplaceResults>& rows) {
    const int n = static_cast<int>(rows.size());
    StartTable(t, def.caption, 5, n + 2, 2);
    t.Cell(1, 0) = std::string(kHeightsHeading);
    t.Cell(4, 0) = std::string(def.normHeading);
    for (int h = 1; h <= 3; ++h) t.Cell(h, 1) = HeightHeading(h);
    const std::array<int, 4> widths = {96, 96, 96, 224};
    for (int c = 1; c <= 4; ++c) t.colWidths[c] = widths[c - 1];
    t.rowHeights[0] = 64;
    for (int i = 0; i < n; ++i) {
        const int row = i + 2;
        if (def.slot >= 0)
            for (int h = 1; h <= 3; ++h) t.Cell(h, row) = FormatLevel(rows[i].Values[h][def.slot]);
        t.Cell(4, row) = std::string(def.normValue);
    }
    if (def.index == 4) {
        t.SetDefaultRowHeight(48);
        t.rowHeights[1] = 24;
    }
}

void BuildLuminanceTable(TResultTable& t, int n) {
    StartTable(t, kLuminanceCaption, 3, n + 1, 1);
    t.Cell(1, 0) = "Измеренное значение";
    t.Cell(2, 0) = "Допустимый уровень (таблица 13 Р 2.2.2006-05)";
    t.colWidths[1] = t.colWidths[2] = 224;
    t.rowHeights[0] = 64;
    for (int row = 1; row <= n; ++row) t.Cell(2, row) = "3";
}

}  // namespace

int LevelTableOfSlot(int slot) {
    for (const LevelTableDef& def : kLevelTables)
        if (def.slot >= 0 && def.slot == slot) return def.index;
    return -1;
}

std::string_view LevelTableNorm(int tableIndex) {
    for (const LevelTableDef& def : kLevelTables)
        if (def.index == tableIndex) return def.normValue;
    return {};
}

TResultTables CreatedResultTables() {
    TResultTables tables;
    for (int index = 0; index < kResultTableCount; ++index) {
        TResultTable& t = tables[index];
        const int gridNumber = index == 0 ? 1 : index == 1 ? 10 : index;
        t.gridName = "Grid" + IntToStr(gridNumber);
        t.labelName = "GridLabel" + IntToStr(gridNumber);
        t.tag = index + 1;
        t.visible = index != kHiddenTableIndex;
        t.Resize(5, 5);
    }
    tables[0].caption = std::string(kSectionCaption);
    for (const LevelTableDef& def : kLevelTables) tables[def.index].caption = std::string(def.caption);
    tables[8].caption = std::string(kLuminanceCaption);
    return tables;
}

bool BuildResultTables(const TMeasureDataP& measurements, TResultTables& tables, std::int32_t& workplaceCount) {
    const std::vector<TWorkplaceResults> rows = CollectWorkplaces(measurements);
    workplaceCount = static_cast<std::int32_t>(rows.size());
    if (rows.empty()) {
        Prompts().ShowMessage(std::string(kNoData), "", MessageIcon::Information);
        return false;
    }
    const int n = static_cast<int>(rows.size());
    BuildWorkplaceTable(tables[0], n);
    for (const LevelTableDef& def : kLevelTables) BuildLevelTable(tables[def.index], def, rows);
    BuildLuminanceTable(tables[8], n);

    for (TResultTable& t : tables) {
        for (int i = 0; i < n && t.fixedRows + i < t.rowCount; ++i)
            t.Cell(0, t.fixedRows + i) = IntToStr(rows[i].Number);
    }
    return true;
}

std::vector<int> LayOutTables(const TResultTables& tables, int firstTop) {
    std::vector<int> tops;
    int top = firstTop;
    for (const TResultTable& t : tables) {
        tops.push_back(top);
        top += t.FittedHeight() + kTableGap;
    }
    return tops;
}

}  // namespace zorvex
