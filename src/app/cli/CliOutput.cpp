#include "app/cli/CliOutput.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

#include "base/CodePage1251.h"
#include "base/DateTime.h"
#include "base/Format.h"
#include "base/Numbers.h"

namespace zorvex::cli {
namespace {

constexpr std::array<const char*, 13> kFieldNames = {"method", "kind",   "id",     "number",  "workplace",
                                                     "height", "time",   "mvalue", "evalue",  "mvalue2",
                                                     "evalue2", "band",  "rejection"};

constexpr char kHexDigits[] = "0123456789abcdef";

// Display width in characters of UTF-8 text.
std::size_t Width(const std::string& s) {
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void WriteJson(std::ostream& out, const TMeasureDataP& data) {
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k)
            for (const auto& r : data(m, k).Records) {
                out << "{\"method\":" << m << ",\"kind\":" << int{r.kind} << ",\"id\":" << r.id
                    << ",\"number\":" << r.number << ",\"workplace\":" << r.workplace << ",\"height\":" << r.height
                    << ",\"time\":" << JsonString(TimeText(r.time)) << ",\"mvalue\":" << JsonNumber(r.mvalue)
                    << ",\"evalue\":" << JsonNumber(r.evalue) << ",\"mvalue2\":" << JsonNumber(r.mvalue2)
                    << ",\"evalue2\":" << JsonNumber(r.evalue2) << ",\"band\":" << int{r.band}
                    << ",\"rejection\":" << int{r.rejection} << "}\n";
            }
}

void WriteCsv(std::ostream& out, const TMeasureDataP& data, bool utf8) {
    std::string text;
    for (std::size_t i = 0; i < kFieldNames.size(); ++i) text += (i ? ";" : "") + std::string(kFieldNames[i]);
    text += "\r\n";
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k)
            for (const auto& r : data(m, k).Records) {
                text += std::to_string(m) + ";" + std::to_string(r.kind) + ";" + std::to_string(r.id) + ";" +
                        std::to_string(r.number) + ";" + std::to_string(r.workplace) + ";" +
                        std::to_string(r.height) + ";" + TimeText(r.time) + ";" + CsvNumber(r.mvalue) + ";" +
                        CsvNumber(r.evalue) + ";" + CsvNumber(r.mvalue2) + ";" + CsvNumber(r.evalue2) + ";" +
                        std::to_string(r.band) + ";" + std::to_string(r.rejection) + "\r\n";
            }
    out << (utf8 ? text : Utf8ToCp1251(text));
}

std::string ValueText(double v, bool hideNegative) {
    return hideNegative && v < 0 ? std::string() : FormatFixed(v, 2);
}


void WriteTable(std::ostream& out, const TMeasureDataP& data) {
    bool first = true;
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k) {
            const auto& records = data(m, k).Records;
            if (records.empty()) continue;
            if (!first) out << "\n";
            first = false;
            out << MethodCaption(m) << ", " << KindCaption(k) << " (" << records.size() << ")\n";
            std::vector<std::vector<std::string>> rows;
            std::vector<std::string> head = {"Ячейка", "Рабочее место", "Высота", "Дата", "Время"};
            AppendMeasuredHeads(head, k);
            rows.push_back(head);
            for (const auto& r : records) {
                std::vector<std::string> row = {std::to_string(r.number), std::to_string(r.workplace),
                                                FormatFixed(r.height / 2.0, 1), DateToStr(r.time), TimeToStr(r.time)};
                AppendMeasuredColumns(row, k, r);
                rows.push_back(std::move(row));
            }
            WriteAligned(out, rows);
        }
}

std::string DayText(TDateTime date) { return FormatDateTime("yyyy-mm-dd", date); }

// The fields of a download in column order; missing ones as `missing`, texts
// passed through `text` (escaping for the output at hand).
template <typename Text>
std::vector<std::string> DownloadFields(const TDownloadRow& d, const std::string& missing, Text text) {
    return {std::to_string(d.id),
            TimeText(d.time),
            text(d.link),
            d.serialNumber ? std::to_string(*d.serialNumber) : missing,
            d.firmware ? text(*d.firmware) : missing,
            d.calibrationDate ? DayText(*d.calibrationDate) : missing,
            std::to_string(d.added),
            std::to_string(d.skipped),
            d.imageFile.empty() ? missing : text(d.imageFile)};
}

constexpr std::array<const char*, 9> kDownloadFieldNames = {
    "id", "time", "link", "serial", "firmware", "calibration", "added", "skipped", "image"};

void WriteDownloadsTable(std::ostream& out, const std::vector<TDownloadRow>& downloads) {
    if (downloads.empty()) return;
    std::vector<std::vector<std::string>> rows = {{"№", "Время", "Канал", "Серийный номер", "Версия ПО",
                                                   "Дата поверки", "Новых", "Уже были", "Файл образа"}};
    const auto printable = [](const std::string& s) { return PrintableText(s); };
    for (const TDownloadRow& d : downloads) rows.push_back(DownloadFields(d, "-", printable));
    WriteAligned(out, rows);
}

void WriteDownloadsJson(std::ostream& out, const std::vector<TDownloadRow>& downloads) {
    for (const TDownloadRow& d : downloads) {
        const std::vector<std::string> fields = DownloadFields(d, "null", JsonString);
        std::string line = "{";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            // Numbers and null as they are; the time and the calibration date are texts.
            const bool quoted = (i == 1 || i == 5) && fields[i] != "null";
            line += (i ? ",\"" : "\"") + std::string(kDownloadFieldNames[i]) + "\":" +
                    (quoted ? JsonString(fields[i]) : fields[i]);
        }
        out << line << "}\n";
    }
}

void WriteDownloadsCsv(std::ostream& out, const std::vector<TDownloadRow>& downloads, bool utf8) {
    std::string text;
    for (std::size_t i = 0; i < kDownloadFieldNames.size(); ++i)
        text += (i ? ";" : "") + std::string(kDownloadFieldNames[i]);
    text += "\r\n";
    for (const TDownloadRow& d : downloads) {
        // A spreadsheet takes the file as well as a terminal: no raw control character in either.
        const std::vector<std::string> fields =
            DownloadFields(d, "", [](const std::string& s) { return CsvField(PrintableText(s)); });
        for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? ";" : "") + fields[i];
        text += "\r\n";
    }
    out << (utf8 ? text : Utf8ToCp1251(text));
}

}  // namespace

void AppendMeasuredHeads(std::vector<std::string>& head, int kind) {
    if (kind == 0) {
        head.insert(head.end(), {"Магнитное поле, нТл", "Электрическое поле, В/м"});
    } else {
        head.push_back(kind == 1 || kind == 3 ? "Значение, нТл" : "Значение, В/м");
        head.push_back("Полоса");
        if (kind <= 2) head.push_back("Режекция");
    }
}

void AppendMeasuredColumns(std::vector<std::string>& row, int kind, const TMeasureRecord& r) {
    if (kind == 0) {
        row.push_back(ValueText(r.mvalue, true));
        row.push_back(ValueText(r.evalue, true));
    } else {
        row.push_back(ValueText(kind == 1 || kind == 3 ? r.mvalue : r.evalue, false));
        row.push_back(BandText(r.band));
        if (kind <= 2) row.push_back(r.rejection ? "50Гц" : "");
    }
}

std::string TimeText(double time) { return FormatDateTime("yyyy-mm-dd hh:nn:ss", time); }

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    const auto escape = [&out](unsigned char code) {
        out += "\\u00";
        out += kHexDigits[code >> 4];
        out += kHexDigits[code & 15];
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto code = static_cast<unsigned char>(s[i]);
        const auto next = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
        // A raw C0 character is no valid JSON string; DEL and the C1 range
        // (U+0080 to U+009F) are, but a terminal showing the line obeys them.
        if (code < 0x20 || code == 0x7F) {
            escape(code);
        } else if (code == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escape(next);
            ++i;
        } else {
            if (code == '"' || code == '\\') out += '\\';
            out += s[i];
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) { return std::isfinite(v) ? ExactNumber(v) : "null"; }

std::string JsonNumber(std::optional<double> v) { return v ? JsonNumber(*v) : "null"; }

std::string CsvNumber(double v) {
    std::string text = ExactNumber(v);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(";\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

void WriteAligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], Width(row[c]));
        }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - Width(row[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
}

void WriteDownloads(std::ostream& out, const std::vector<TDownloadRow>& downloads, const OutputOptions& options) {
    switch (options.format) {
        case RecordFormat::Json: WriteDownloadsJson(out, downloads); break;
        case RecordFormat::Csv: WriteDownloadsCsv(out, downloads, options.utf8); break;
        default: WriteDownloadsTable(out, downloads);
    }
}

std::string PrintableText(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](unsigned char code) {
        out += "\\x";
        out += kHexDigits[code >> 4];
        out += kHexDigits[code & 15];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto code = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (keepLineBreaks && (code == '\n' || code == '\r')) {
            out += '\n';
            if (code == '\r' && next == '\n') ++i;
        } else if (code < 0x20 || code == 0x7F) escape(code);
        else if (code == 0xC2 && next >= 0x80 && next <= 0x9F) escape(static_cast<unsigned char>(text[++i]));
        else out += text[i];
    }
    return out;
}

std::string ExactNumber(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string MethodCaption(int method) {
    return method == kMethodSingle ? "Однократные измерения" : "Данные мониторинга";
}

std::string KindCaption(int kind) {
    static const char* const kCaptions[] = {"50 Гц", "СВТ - Магнитное поле", "СВТ - Электрическое поле",
                                            "Магнитное поле", "Электрическое поле"};
    return kind >= 0 && kind < kKindCount ? kCaptions[kind] : "";
}

std::string BandText(int band) {
    if (band == 0) return "5Гц - 2кГц";
    if (band == 1) return "2кГц - 400кГц";
    return "10кГц - 30кГц";
}

void WriteRecords(std::ostream& out, const TMeasureDataP& data, const OutputOptions& options) {
    switch (options.format) {
        case RecordFormat::Json: WriteJson(out, data); break;
        case RecordFormat::Csv: WriteCsv(out, data, options.utf8); break;
        default: WriteTable(out, data);
    }
}

}  // namespace zorvex::cli
