#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/MeasureModel.h"
#include "storage/DownloadStore.h"

namespace zorvex::cli {

enum class RecordFormat { Table, Json, Csv };

struct OutputOptions {
    RecordFormat format = RecordFormat::Table;
    bool utf8 = false;  // CSV only: UTF-8 instead of code page 1251
};

// Writes every record of the matrix in matrix order: method 0 kinds 0..4,
// then method 1 kinds 0..4, each series in its own order.
void WriteRecords(std::ostream& out, const TMeasureDataP& data, const OutputOptions& options);

// Writes the recorded downloads, one per line (the table with a heading
// line; nothing at all when there are none). A missing serial number,
// firmware, calibration date or image file is "-" in the table, null in
// JSON and an empty field in CSV.
void WriteDownloads(std::ostream& out, const std::vector<TDownloadRow>& downloads, const OutputOptions& options);

// `text` with each control character (C0, DEL and the C1 range U+0080 to
// U+009F) shown as "\xNN", its code in hex: a text read from a file must not
// move the terminal's cursor, clear its screen or forge lines and columns.
// `keepLineBreaks` keeps line breaks, each "\n", "\r\n" or "\r" as "\n",
// for messages of several lines.
std::string PrintableText(std::string_view text, bool keepLineBreaks = false);

// Text of a double that reads back to the same value ("12.5", "0.1", "-1").
std::string ExactNumber(double value);

// ---- building blocks of the outputs

// A time as "yyyy-mm-dd hh:nn:ss".
std::string TimeText(double time);
// A JSON string; control characters (C0, DEL, C1) as \u00NN.
std::string JsonString(const std::string& s);
// A JSON number; null for a figure that does not exist and for NaN or an
// infinity, which JSON cannot hold (a reader would reject the whole line).
std::string JsonNumber(double v);
std::string JsonNumber(std::optional<double> v);
// ExactNumber with a decimal comma.
std::string CsvNumber(double v);
// A CSV field, quoted when it holds the separator, a quote or a line break.
std::string CsvField(const std::string& s);
// Rows in columns two spaces apart, each as wide as its widest cell; no trailing spaces.
void WriteAligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows);
// The table columns of what was measured, by kind: both fields at 50 Hz,
// else the value, its band and (kinds 1 and 2) the rejection.
void AppendMeasuredHeads(std::vector<std::string>& head, int kind);
void AppendMeasuredColumns(std::vector<std::string>& row, int kind, const TMeasureRecord& r);

// Captions as the main window shows them.
std::string MethodCaption(int method);
std::string KindCaption(int kind);
std::string BandText(int band);

}  // namespace zorvex::cli
