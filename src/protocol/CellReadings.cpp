#include "protocol/CellReadings.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "base/Numbers.h"

namespace zorvex {

namespace {

constexpr std::size_t kListedCells = 5;  // in the question; the rest are counted

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string CellText(const TContestedCell& cell, const TResultTables& tables) {
    return tables[static_cast<std::size_t>(cell.table)].CellOrEmpty(cell.col, cell.row);
}

}  // namespace

bool IsShown(const TCellReading& reading, std::string_view cellText) {
    return FormatLevel(reading.value) == Trimmed(cellText);
}

std::vector<TContestedCell> FindContestedCells(const TMeasureDataP& measurements) {
    std::vector<std::int32_t> numbers;
    for (const TWorkplaceResults& row : CollectWorkplaces(measurements)) numbers.push_back(row.Number);

    // (table, row, column) -> the readings written there
    std::map<std::tuple<int, int, int>, TContestedCell> cells;
    WalkResultWrites(measurements, [&](const TResultWrite& w) {
        const int table = LevelTableOfSlot(w.slot);
        if (table < 0 || w.height < 1) return;  // shown nowhere
        const auto at = std::lower_bound(numbers.begin(), numbers.end(), w.workplace);
        const int row = 2 + static_cast<int>(at - numbers.begin());
        TContestedCell& cell = cells[{table, row, w.height}];
        cell.table = table;
        cell.workplace = w.workplace;
        cell.col = w.height;
        cell.row = row;
        const TMeasureRecord& record = measurements(kMethodSingle, w.kind).Records[w.position];
        cell.readings.push_back(TCellReading{w.kind, w.position, record.time, w.value});
    });

    std::vector<TContestedCell> contested;
    for (auto& [key, cell] : cells)
        if (cell.readings.size() > 1) contested.push_back(std::move(cell));
    return contested;
}

std::optional<double> TableNorm(int tableIndex) {
    return TryStrToFloat(LevelTableNorm(tableIndex));
}

std::optional<std::size_t> HeldReading(const TContestedCell& cell, std::string_view cellText) {
    for (std::size_t i = cell.readings.size(); i-- > 0;)
        if (IsShown(cell.readings[i], cellText)) return i;
    return std::nullopt;
}

bool DropsReadingAtOrAboveNorm(const TContestedCell& cell, std::string_view cellText) {
    const std::optional<double> norm = TableNorm(cell.table);
    if (!norm) return false;
    return std::any_of(cell.readings.begin(), cell.readings.end(), [&](const TCellReading& reading) {
        return reading.value >= *norm && !IsShown(reading, cellText);
    });
}

bool HidesExceedance(const TContestedCell& cell, std::string_view cellText) {
    if (!DropsReadingAtOrAboveNorm(cell, cellText)) return false;
    const std::optional<double> shown = TryStrToFloat(Trimmed(cellText));
    return !shown || *shown < *TableNorm(cell.table);
}

void HoldReading(TContestedCell& cell, std::size_t reading, TResultTables& tables) {
    TResultTable& table = tables[static_cast<std::size_t>(cell.table)];
    if (reading >= cell.readings.size() || cell.col >= table.colCount || cell.row >= table.rowCount) return;
    table.Cell(cell.col, cell.row) = FormatLevel(cell.readings[reading].value);
    cell.chosen = true;
}

std::string HiddenExceedanceQuestion(const std::vector<TContestedCell>& cells, const TResultTables& tables) {
    std::vector<std::string> lines;
    for (const TContestedCell& cell : cells) {
        const std::string text = CellText(cell, tables);
        if (cell.chosen || !HidesExceedance(cell, text)) continue;
        std::string dropped;
        const double norm = *TableNorm(cell.table);
        for (const TCellReading& reading : cell.readings) {
            if (reading.value < norm || IsShown(reading, text)) continue;
            if (!dropped.empty()) dropped += ", ";
            dropped += FormatLevel(reading.value);
        }
        const std::string_view shown = Trimmed(text);
        lines.push_back("«" + std::string(LevelTableShortName(cell.table)) + "», РМ " + IntToStr(cell.workplace) +
                        ", " + HeightHeading(cell.col) + " м: в таблице " +
                        (shown.empty() ? std::string("пусто") : std::string(shown)) + ", не показано " + dropped +
                        " (норма " + std::string(LevelTableNorm(cell.table)) + ")");
    }
    if (lines.empty()) return {};
    std::string question = "Измерения не ниже допустимого уровня не показаны в таблицах:\n";
    for (std::size_t i = 0; i < lines.size() && i < kListedCells; ++i) question += lines[i] + "\n";
    if (lines.size() > kListedCells) question += "и других ячеек: " + IntToStr(lines.size() - kListedCells) + "\n";
    question += "Значение ячейки выбирается в списке «Ячейки с несколькими измерениями». Сформировать протокол так?";
    return question;
}

void AcceptHiddenExceedances(std::vector<TContestedCell>& cells, const TResultTables& tables) {
    for (TContestedCell& cell : cells)
        if (HidesExceedance(cell, CellText(cell, tables))) cell.chosen = true;
}

std::string_view LevelTableShortName(int tableIndex) {
    static constexpr std::array<std::string_view, 7> kNames = {
        "",
        "Электрическое поле 45 Гц - 55 Гц, В/м",
        "Электрическое поле 5 Гц – 2 кГц, В/м",
        "Электрическое поле 2-400 кГц, В/м",
        "Плотность магнитного потока 45 Гц - 55 Гц, нТл",
        "Плотность магнитного потока 5 Гц – 2 кГц, нТл",
        "Плотность магнитного потока 2-400 кГц, нТл",
    };
    if (tableIndex < 0 || tableIndex >= static_cast<int>(kNames.size())) return {};
    return kNames[static_cast<std::size_t>(tableIndex)];
}

std::string_view ReadingKindName(int kind) {
    static constexpr std::array<std::string_view, kKindCount> kCaptions = {
        "50 Гц", "СВТ - Магнитное поле", "СВТ - Электрическое поле", "Магнитное поле", "Электрическое поле"};
    if (kind < 0 || kind >= kKindCount) return {};
    return kCaptions[static_cast<std::size_t>(kind)];
}

TOmittedSingles CountOmittedSingles(const TMeasureDataP& measurements) {
    TOmittedSingles omitted;
    for (int kind = 0; kind < kKindCount; ++kind) {
        for (const TMeasureRecord& r : measurements(kMethodSingle, kind).Records) {
            if (r.workplace == 0) {
                ++omitted.noWorkplace;
            } else if (r.height == 0) {
                ++omitted.noHeight;
            } else if (r.height < 0 || r.height >= kHeightCodeCount) {
                ++omitted.otherHeight;
            } else if (kind != kKind50Hz && r.band == kBandMid) {
                ++omitted.bandNotShown;
            } else if (kind != kKind50Hz && r.band > kBandMid) {
                ++omitted.unknownBand;
            } else if ((kind == kKindSvtMagnetic && r.mvalue < 0) || (kind == kKindSvtElectric && r.evalue < 0) ||
                       (kind == kKind50Hz && r.mvalue < 0 && r.evalue < 0)) {
                ++omitted.noValue;
            }
        }
    }
    return omitted;
}

std::string OmittedSinglesText(const TOmittedSingles& omitted) {
    if (omitted.Total() == 0) return {};
    const std::pair<int, std::string_view> reasons[] = {
        {omitted.noWorkplace, "без номера рабочего места"},       {omitted.noHeight, "без высоты"},
        {omitted.otherHeight, "с высотой не 0.5, 1.0 или 1.5 м"}, {omitted.bandNotShown, "в диапазоне 10кГц - 30кГц"},
        {omitted.unknownBand, "с неизвестным диапазоном"},        {omitted.noValue, "без значения"},
    };
    std::string parts;
    for (const auto& [count, reason] : reasons) {
        if (count == 0) continue;
        if (!parts.empty()) parts += "; ";
        parts += std::string(reason) + ": " + IntToStr(count);
    }
    return "Не вошли в таблицы одиночных измерений: " + IntToStr(omitted.Total()) + " (" + parts + ").";
}

}  // namespace zorvex
