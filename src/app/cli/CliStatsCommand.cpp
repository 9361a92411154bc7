// `stats`: the figures of each stored monitoring run, as the window's run list splits them.
#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliApp.h"
#include "app/cli/CliSelection.h"
#include "base/CodePage1251.h"
#include "model/MonitoringRuns.h"
#include "model/RunStatistics.h"
#include "storage/Levels.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex::cli {
namespace {

// One curve of one run.
struct TStatsRow {
    std::string run;  // the run's caption in the window's run list
    int kind = 0;
    int band = 0;
    int rejection = 0;
    TRunStatistics figures;
};

std::vector<TStatsRow> CollectRows(const TMeasureDataP& data, const TLimitTable& limits) {
    std::vector<TStatsRow> rows;
    for (int kind = 0; kind < kKindCount; ++kind) {
        const auto& records = data(kMethodMonitoring, kind).Records;
        for (const TRunItem& run : SplitRuns(records)) {
            // A run never changes band or rejection, so its first record speaks for it.
            const TMeasureRecord& first = records[static_cast<std::size_t>(run.First)];
            const std::optional<double> levels[2] = {LevelOf(limits, kind, first.band, 0),
                                                     LevelOf(limits, kind, first.band, 1)};
            const std::int64_t interval = RunIntervalMs(records, run.First, run.Last);
            for (TRunStatistics& figures : ComputeKindStatistics(records, run.First, run.Last, kind, levels, interval))
                rows.push_back({run.Caption, kind, first.band, first.rejection, std::move(figures)});
        }
    }
    return rows;
}

// The band as the window labels a monitoring run: none for 50 Hz, and the
// rejection mark on the computer-workplace kinds only.
std::string BandCell(const TStatsRow& row) {
    if (row.kind == kKind50Hz) return "";
    std::string text = BandText(row.band);
    if ((row.kind == kKindSvtMagnetic || row.kind == kKindSvtElectric) && row.rejection != 0) text += " (режекция)";
    return text;
}

std::vector<std::string> Headings() {
    std::vector<std::string> headings = {"Сеанс", "Вид", "Полоса"};
    for (const auto& h : StatisticsHeadings()) headings.push_back(h);
    return headings;
}

std::vector<std::string> Cells(const TStatsRow& row) {
    std::vector<std::string> cells = {row.run, KindCaption(row.kind), BandCell(row)};
    for (auto& c : StatisticsCells(row.figures)) cells.push_back(std::move(c));
    return cells;
}

void WriteTable(std::ostream& out, const std::vector<TStatsRow>& rows) {
    if (rows.empty()) return;
    std::vector<std::vector<std::string>> lines = {Headings()};
    for (const auto& row : rows) lines.push_back(Cells(row));
    WriteAligned(out, lines);
}

// A decimal figure of the table ("12.50") with a decimal comma; dates, times
// and counts stay as they are.
std::string CsvCell(std::string cell) {
    const std::size_t point = cell.find('.');
    const auto digits = [&](std::size_t from, std::size_t to) {
        return from < to && cell.find_first_not_of("0123456789", from) >= to;
    };
    const std::size_t start = !cell.empty() && cell[0] == '-' ? 1 : 0;
    if (point != std::string::npos && digits(start, point) && digits(point + 1, cell.size())) cell[point] = ',';
    return CsvField(cell);
}

void WriteCsv(std::ostream& out, const std::vector<TStatsRow>& rows, bool utf8) {
    std::string text;
    const auto line = [&text](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) text += (i ? ";" : "") + CsvCell(cells[i]);
        text += "\r\n";
    };
    line(Headings());
    for (const auto& row : rows) line(Cells(row));
    out << (utf8 ? text : Utf8ToCp1251(text));
}

// A figure that does not exist, and a number JSON cannot hold, are null.
std::string JsonValue(std::optional<double> v) {
    return v ? JsonNumber(*v) : "null";
}
std::string JsonTime(std::optional<double> t) {
    return t ? JsonString(TimeText(*t)) : "null";
}

void WriteJson(std::ostream& out, const std::vector<TStatsRow>& rows) {
    for (const auto& row : rows) {
        // "samples" are those with a value, as "Отсчётов" in the table; "absent" the others.
        const TRunStatistics& s = row.figures;
        const auto ifValues = [&](double v) { return s.HasValues() ? std::optional<double>(v) : std::nullopt; };
        const bool counted = s.Level && s.HasValues();
        const auto ifCounted = [&](double v) { return counted ? std::optional<double>(v) : std::nullopt; };
        out << "{\"run\":" << JsonString(row.run) << ",\"kind\":" << row.kind << ",\"band\":" << row.band
            << ",\"rejection\":" << row.rejection << ",\"curve\":\"" << (s.Curve == 0 ? "H" : "E")
            << "\",\"samples\":" << s.Present << ",\"absent\":" << s.Samples - s.Present
            << ",\"start\":" << JsonTime(s.Start) << ",\"end\":" << JsonTime(s.End) << ",\"interval_s\":"
            << JsonValue(s.Samples > 1 ? std::optional<double>(s.IntervalMs / 1000.0) : std::nullopt)
            << ",\"min\":" << JsonValue(ifValues(s.Minimum)) << ",\"max\":" << JsonValue(ifValues(s.Maximum))
            << ",\"max_time\":" << JsonTime(ifValues(s.MaximumTime)) << ",\"mean\":" << JsonValue(ifValues(s.Mean))
            << ",\"p95\":" << JsonValue(ifValues(s.Percentile95)) << ",\"level\":" << JsonValue(s.Level)
            << ",\"at_or_above\":" << JsonValue(ifCounted(s.AtOrAbove))
            << ",\"seconds_at_or_above\":" << JsonValue(ifCounted(s.MsAtOrAbove / 1000.0))
            << ",\"share\":" << JsonValue(ifCounted(s.ShareAtOrAbove)) << "}\n";
    }
}

int StatsCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    const OutputOptions format = ReadFormat(args);
    const TMeasureDataP data = LoadSelection(context, BuildFilter(args, kMethodMonitoring));
    TLevels levels = kLevelDefaults;
    LoadLevels(MainDatabase(), levels);
    const std::vector<TStatsRow> rows = CollectRows(data, LimitTableOf(levels));
    switch (format.format) {
        case RecordFormat::Json:
            WriteJson(context.out, rows);
            break;
        case RecordFormat::Csv:
            WriteCsv(context.out, rows, format.utf8);
            break;
        default:
            WriteTable(context.out, rows);
    }
    return 0;
}

}  // namespace

std::vector<CliCommand> StatsCommands() {
    std::vector<OptionDef> options = FilterOptions(false);
    for (auto& o : FormatOptions()) options.push_back(o);
    return {
        {"stats", "[--from ГГГГ-ММ-ДД] [--to ГГГГ-ММ-ДД] [--kind 0..4] [--format ВИД] [--utf8]",
         "сводка по сеансам мониторинга: минимум, максимум, среднее, уровень",
         "По строке на сеанс и поле (для 50 Гц — H и E), виды по порядку, сеансы по времени.\n"
         "Сеансы делятся, как в списке сеансов окна: по перерыву больше 4 минут, по смене полосы\n"
         "или режекции. Берутся только записи выбранных дней: от сеанса на границе — его часть.\n"
         "Отсчёты (в JSON samples) — моменты записи со значением; записи одного времени\n"
         "(сеанс, полученный дважды) — один отсчёт с большим из их значений.\n"
         "Уровень — допустимый уровень вида и полосы сеанса (команда levels);\n"
         "«—» (в JSON null) — показателя нет: ни одного значения или нет уровня.\n"
         "Без данных мониторинга таблица и JSON пусты, CSV — одна строка заголовков.\n" +
             FilterHelp(false) + "\n" + FormatHelp(),
         options, StatsCommand},
    };
}

}  // namespace zorvex::cli
