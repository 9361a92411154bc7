#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "storage/DBDataAdapter.h"
#include "support/ProcessRun.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RunProcess;
using zorvex::test::TempDir;

namespace {

// Monitoring runs with figures easy to work out by hand; the magnetic level
// of the low band is set to 200 so that one value lies exactly on it.
class CliStats : public ::testing::Test {
protected:
    void SetUp() override {
        TMeasureDataP data;
        data.SetMethodBytes();
        auto add = [&](int method, int kind, TDateTime time, double m, double e, int band = 0, int rejection = 0) {
            TMeasureRecord r;
            r.kind = static_cast<std::uint8_t>(kind);
            r.number = static_cast<int>(data(method, kind).Records.size()) + 1;
            r.time = time;
            r.mvalue = m;
            r.evalue = e;
            r.mvalue2 = -1;
            r.evalue2 = -1;
            r.band = static_cast<std::uint8_t>(band);
            r.rejection = static_cast<std::uint8_t>(rejection);
            data(method, kind).Records.push_back(r);
        };
        const auto at = [](int day, int hour, int minute, int second) {
            return EncodeDateTime(2012, 5, day, hour, minute, second, 0);
        };
        add(1, 0, at(1, 10, 0, 0), 4000, 600);
        add(1, 0, at(1, 10, 1, 0), 6000, -1);
        for (const auto& [second, value] : {std::pair{0, 100.0}, {10, 250.0}, {20, 300.0}, {30, 200.0}})
            add(1, 1, at(1, 8, 0, second), value, -1);
        for (const auto& [second, value] : {std::pair{0, 10.0}, {5, -1.0}, {10, 30.0}, {15, 20.0}})
            add(1, 1, at(2, 9, 0, second), value, -1, 1, 1);
        add(1, 2, at(3, 13, 0, 0), -1, -1);
        add(1, 3, at(3, 12, 0, 0), 7.5, -1);
        add(0, 1, at(4, 8, 0, 0), 500, -1);  // a single measurement: no run
        TDBDataAdapter().PutData(data, dir.File("data.db"));
        ASSERT_EQ(Cli({"levels", "swtmflb=200"}).status, 0);
    }
    test::ProcessResult Cli(const std::vector<std::string>& args) {
        return RunProcess(ZORVEX_CLI_PATH, args, dir.path());
    }
    std::vector<std::string> Lines(const std::vector<std::string>& args) {
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> lines;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    TempDir dir;
};

// The raw text of `key` in a one-line JSON object: a number, null or a quoted string.
std::string Field(const std::string& line, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) return "<missing>";
    const std::size_t start = at + tag.size();
    const std::size_t end = line[start] == '"' ? line.find('"', start + 1) + 1 : line.find_first_of(",}", start);
    return line.substr(start, end - start);
}

std::optional<double> Number(const std::string& line, const std::string& key) {
    const std::string text = Field(line, key);
    if (text == "null") return std::nullopt;
    double value = -12345;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    EXPECT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size()) << key << ": " << text;
    return value;
}

std::vector<std::string> Split(const std::string& line, const std::regex& separator) {
    return {std::sregex_token_iterator(line.begin(), line.end(), separator, -1), std::sregex_token_iterator()};
}

}  // namespace

TEST_F(CliStats, JsonGivesTheFiguresOfEachRunAndCurve) {
    using N = std::optional<double>;
    const N null;
    struct Row {
        std::string run;
        int kind, band, rejection;
        std::string curve;
        int samples, present;  // all samples, those with a value
        std::string start, end, maxTime;
        N interval, min, max, mean, p95, level, atOrAbove, seconds, share;
    } rows[] = {
        {"01.05.2012 10:00:00", 0, 0, 0, "H", 2, 2, "2012-05-01 10:00:00", "2012-05-01 10:01:00", "2012-05-01 10:01:00",
         60, 4000, 6000, 5000, 6000, 5000, 1, 60, 0.5},
        {"01.05.2012 10:00:00", 0, 0, 0, "E", 2, 1, "2012-05-01 10:00:00", "2012-05-01 10:01:00", "2012-05-01 10:00:00",
         60, 600, 600, 600, 600, 500, 1, 60, 1},
        // 200 is exactly the level and counts.
        {"01.05.2012 08:00:00", 1, 0, 0, "H", 4, 4, "2012-05-01 08:00:00", "2012-05-01 08:00:30", "2012-05-01 08:00:20",
         10, 100, 300, 212.5, 300, 200, 3, 30, 0.75},
        // The high band's level; the absent value enters no figure.
        {"02.05.2012 09:00:00", 1, 1, 1, "H", 4, 3, "2012-05-02 09:00:00", "2012-05-02 09:00:15", "2012-05-02 09:00:10",
         5, 10, 30, 20, 30, 25, 1, 5, 1.0 / 3},
        // A level but no value: nothing to count.
        {"03.05.2012 13:00:00", 2, 0, 0, "E", 1, 0, "2012-05-03 13:00:00", "2012-05-03 13:00:00", "null", null, null,
         null, null, null, 25, null, null, null},
        // Values but no level.
        {"03.05.2012 12:00:00", 3, 0, 0, "H", 1, 1, "2012-05-03 12:00:00", "2012-05-03 12:00:00", "2012-05-03 12:00:00",
         null, 7.5, 7.5, 7.5, 7.5, null, null, null, null},
    };
    const auto lines = Lines({"stats", "--format", "json"});
    ASSERT_EQ(lines.size(), std::size(rows));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Row& e = rows[i];
        const std::string& line = lines[i];
        SCOPED_TRACE(line);
        const auto quoted = [](const std::string& s) { return s == "null" ? s : "\"" + s + "\""; };
        EXPECT_EQ(Field(line, "run"), quoted(e.run));
        EXPECT_EQ(Field(line, "curve"), quoted(e.curve));
        EXPECT_EQ(Field(line, "start"), quoted(e.start));
        EXPECT_EQ(Field(line, "end"), quoted(e.end));
        EXPECT_EQ(Field(line, "max_time"), quoted(e.maxTime));
        EXPECT_EQ(Number(line, "kind"), e.kind);
        EXPECT_EQ(Number(line, "band"), e.band);
        EXPECT_EQ(Number(line, "rejection"), e.rejection);
        // Samples with a value, as the table's "Отсчётов" counts them; the others are absent.
        EXPECT_EQ(Number(line, "samples"), e.present);
        EXPECT_EQ(Number(line, "absent"), e.samples - e.present);
        EXPECT_EQ(Number(line, "interval_s"), e.interval);
        EXPECT_EQ(Number(line, "min"), e.min);
        EXPECT_EQ(Number(line, "max"), e.max);
        EXPECT_EQ(Number(line, "mean"), e.mean);
        EXPECT_EQ(Number(line, "p95"), e.p95);
        EXPECT_EQ(Number(line, "level"), e.level);
        EXPECT_EQ(Number(line, "at_or_above"), e.atOrAbove);
        EXPECT_EQ(Number(line, "seconds_at_or_above"), e.seconds);
        EXPECT_EQ(Number(line, "share"), e.share);
    }
}

TEST_F(CliStats, TableAndCsvShowTheWindowsTexts) {
    const auto csv = Lines({"stats", "--format", "csv", "--utf8"});
    ASSERT_EQ(csv.size(), 7u);
    EXPECT_EQ(csv[0],
              "Сеанс;Вид;Полоса;Поле;Отсчётов;Без значения;Минимум;Максимум;Время максимума;Среднее;95-й "
              "процентиль;Уровень;Не ниже уровня;Время не ниже уровня;Доля, %;Начало;Конец;Интервал\r");
    EXPECT_EQ(csv[1].rfind("01.05.2012 10:00:00;50 Гц;;H, нТл;2;0;", 0), 0u) << csv[1];  // no band for 50 Hz
    EXPECT_EQ(csv[4],
              "02.05.2012 09:00:00;СВТ - Магнитное поле;2кГц - 400кГц (режекция);H, нТл;3;1;10,00;30,00;09:00:10;"
              "20,00;30,00;25,00;1;0:00:05;33,3;02.05.2012 09:00:00;09:00:15;0:00:05\r");
    EXPECT_EQ(csv[6],
              "03.05.2012 12:00:00;Магнитное поле;5Гц - 2кГц;H, нТл;1;0;7,50;7,50;12:00:00;7,50;7,50;—;—;—;—;"
              "03.05.2012 12:00:00;12:00:00;—\r");

    // The table holds the same cells, in columns, with decimal points.
    const auto table = Lines({"stats"});
    ASSERT_EQ(table.size(), csv.size());
    const std::regex columns(" {2,}"), fields(";");
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::vector<std::string> expected;
        for (std::string cell : Split(csv[i].substr(0, csv[i].size() - 1), fields)) {
            cell = std::regex_replace(cell, std::regex("^(\\d+),(\\d+)$"), "$1.$2");
            if (!cell.empty()) expected.push_back(cell);
        }
        EXPECT_EQ(Split(table[i], columns), expected) << table[i];
    }

    const auto cp1251 = Cli({"stats", "--format", "csv"});
    EXPECT_EQ(cp1251.out.substr(0, 6), "\xD1\xE5\xE0\xED\xF1;");  // "Сеанс;"
}

// A series stored twice at the same times, and values near the largest double:
// sound figures, and never a NaN or an infinity in any output form.
TEST_F(CliStats, RepeatedAndHugeValuesGiveSoundFigures) {
    TMeasureDataP data;
    data.SetMethodBytes();
    const auto add = [&](int kind, TDateTime time, double m) {
        TMeasureRecord r;
        r.kind = static_cast<std::uint8_t>(kind);
        r.number = static_cast<int>(data(1, kind).Records.size()) + 1;
        r.time = time;
        r.mvalue = m;
        r.evalue = r.mvalue2 = r.evalue2 = -1;
        data(1, kind).Records.push_back(r);
    };
    const TDateTime start = EncodeDateTime(2012, 6, 1, 10, 0, 0, 0);
    for (int copy = 0; copy < 2; ++copy)
        for (const auto& [second, value] : {std::pair{0, 100.0}, {5, 300.0}, {10, 260.0}, {15, 100.0}})
            add(kKindSvtMagnetic, start + second / 86400.0, value);
    for (const auto& [second, value] : {std::pair{0, 1.7e308}, {5, 1.79e308}, {10, 1e308}, {15, 1.5e308}})
        add(kKindMagnetic, start + second / 86400.0, value);
    TDBDataAdapter().PutData(data, dir.File("other.db"));

    const auto lines = Lines({"--db", "other.db", "stats", "--format", "json"});
    ASSERT_EQ(lines.size(), 2u);
    // The repeated series against the default level of 250 nT: four samples 5 s apart, two at or above.
    const std::string& repeated = lines[0];
    EXPECT_EQ(Number(repeated, "samples"), 4) << repeated;
    EXPECT_EQ(Number(repeated, "absent"), 0) << repeated;
    EXPECT_EQ(Number(repeated, "interval_s"), 5) << repeated;
    EXPECT_EQ(Number(repeated, "at_or_above"), 2) << repeated;
    EXPECT_EQ(Number(repeated, "seconds_at_or_above"), 10) << repeated;
    EXPECT_EQ(Number(repeated, "share"), 0.5) << repeated;
    EXPECT_EQ(Number(repeated, "mean"), 190) << repeated;
    const std::optional<double> mean = Number(lines[1], "mean");
    ASSERT_TRUE(mean.has_value()) << lines[1];
    EXPECT_NEAR(*mean / 1.4975e308, 1, 1e-15) << lines[1];

    for (const std::string format : {"table", "json", "csv"}) {
        std::vector<std::string> args = {"--db", "other.db", "stats", "--format", format};
        if (format == "csv") args.push_back("--utf8");
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string lower = r.out;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_EQ(lower.find("nan"), std::string::npos) << format << ": " << r.out;
        EXPECT_EQ(lower.find("inf"), std::string::npos) << format << ": " << r.out;
    }
    // The table's figures are those of the JSON.
    const auto table = Lines({"--db", "other.db", "stats"});
    ASSERT_EQ(table.size(), 3u);
    const std::vector<std::string> cells = Split(table[1], std::regex(" {2,}"));
    ASSERT_GE(cells.size(), 10u) << table[1];
    EXPECT_EQ(std::vector<std::string>(cells.begin() + 4, cells.begin() + 10),
              (std::vector<std::string>{"4", "0", "100.00", "300.00", "10:00:05", "190.00"}))
        << table[1];
}

TEST_F(CliStats, DatesAndKindChooseTheRuns) {
    struct Case {
        std::vector<std::string> filter;
        std::vector<std::string> runs;  // one per curve
    } cases[] = {
        {{"--from", "2012-05-02"}, {"02.05.2012 09:00:00", "03.05.2012 13:00:00", "03.05.2012 12:00:00"}},
        {{"--to", "2012-05-01"}, {"01.05.2012 10:00:00", "01.05.2012 10:00:00", "01.05.2012 08:00:00"}},
        {{"--from", "2012-05-02", "--to", "2012-05-02"}, {"02.05.2012 09:00:00"}},
        {{"--kind", "3"}, {"03.05.2012 12:00:00"}},
        {{"--from", "2012-05-04"}, {}},  // a single measurement only
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"stats", "--format", "json"};
        args.insert(args.end(), c.filter.begin(), c.filter.end());
        std::vector<std::string> runs;
        for (const auto& line : Lines(args)) runs.push_back(Field(line, "run"));
        std::vector<std::string> expected;
        for (const auto& run : c.runs) expected.push_back("\"" + run + "\"");
        EXPECT_EQ(runs, expected) << c.filter[0] << " " << c.filter[1];
    }
}

TEST_F(CliStats, NoMonitoringDataPrintsNothingButTheCsvHeading) {
    for (const std::string format : {"table", "json"}) {
        const auto r = Cli({"stats", "--from", "2012-05-04", "--format", format});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "") << format;
    }
    const auto csv = Cli({"stats", "--from", "2012-05-04", "--format", "csv", "--utf8"});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("Сеанс;Вид;Полоса;", 0), 0u) << csv.out;
    EXPECT_EQ(csv.out.find("\r\n"), csv.out.size() - 2) << csv.out;  // the heading only
}

TEST_F(CliStats, ABadCommandLineIsAUsageError) {
    struct Case {
        std::vector<std::string> args;
        std::string errPart;
    } cases[] = {
        {{"--from", "2012-02-30"}, "--from"},
        {{"--to", "01.05.2012"}, "--to"},
        {{"--from", "2012-05-03", "--to", "2012-05-01"}, "позже"},
        {{"--kind", "5"}, "--kind"},
        {{"--method", "1"}, "неизвестный параметр --method"},  // always the monitoring data
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"stats"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
}
