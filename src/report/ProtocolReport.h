#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "report/ReportData.h"
#include "report/ReportEngine.h"
#include "report/ReportTemplate.h"

class QWidget;

namespace zorvex::report {

// The printed inspection protocol: its template, the ten data sources it
// reads and the calls that turn a protocol's data into a document.
//
// Typical use (the editor or the CLI fills the data, then one call):
//   ProtocolReportData data;
//   for (const char* name : kHeadingFieldNames)      // the heading source's answer per field
//       data.fields[name] = HeadingValue(fields, name);
//   for (int k = 0; k < kProtocolTableCount; ++k)     // result table k, row by row,
//       data.tables[k] = ...;                         // heading rows included
//   ExportProtocolPdf(data, "/path/12.pdf");          // headless: `zorvex-cli protocol pdf`
//   ShowProtocolPreview(data, parent);                // "Сформировать": modal preview

// Names of the sources the template reads.
inline constexpr const char* kHeadingSourceName = "frxUserDataSet2";
// The table sources in print order: table block k reads source k and prints
// result table k (0 = workplaces ... 8 = luminance).
inline constexpr std::array<const char*, 9> kTableSourceNames = {
    "frxUserDataSet1", "frxUserDataSet3", "frxUserDataSet4", "frxUserDataSet5", "frxUserDataSet6",
    "frxUserDataSet7", "frxUserDataSet8", "frxUserDataSet9", "frxUserDataSet10"};
inline constexpr int kProtocolTableCount = 10;
// The fields the template reads from the heading source.
inline constexpr std::array<const char*, 13> kHeadingFieldNames = {
    "Edit0", "Edit1", "Edit2", "DateTimePicker1", "Edit3",        "Edit4", "Memo5",
    "Memo6", "Memo7", "Edit8", "ComboBoxEx9",     "ComboBoxEx10", "Memo11"};

// The protocol template, built once.
const ReportTemplate& ProtocolTemplate();

// A result table's cells by row, then column, its heading rows included.
using ResultTableCells = std::vector<std::vector<std::string>>;

// Everything the document shows.
struct ProtocolReportData {
    // Heading fields by the names of the editor's controls: "Edit0" (the
    // protocol number, untrimmed), "Edit1" ... "Memo11", and
    // "DateTimePicker1" holding the date already in the short date format.
    // Multi-line fields keep their lines joined by CR LF.
    std::map<std::string, std::string, std::less<>> fields;
    // The ten result tables in index order.
    std::array<ResultTableCells, kProtocolTableCount> tables;
};

// The row where a result table's data begin: after its heading rows (two
// for the level tables 1..7, one for the others).
int FirstDataRow(int tableIndex);

// The reading position that the nine table sources share.
struct ReportTablePosition {
    int gridIndex = 0;
    int row = 0;
};

// The heading source: one record; a field named "E...", "C..." or "M..."
// answers that control's text, "D..." the date text, any other name "".
class HeadingDataSet final : public ReportDataSet {
public:
    explicit HeadingDataSet(const ProtocolReportData& data) : data_(data) {}
    void First() override { position_ = 0; }
    void Next() override { ++position_; }
    bool Eof() override { return position_ >= 1; }
    std::string GetValue(std::string_view field) override;

private:
    const ProtocolReportData& data_;
    int position_ = 0;
};

// One of the nine table sources. They all read the result table at the
// shared position: First goes to that table's first data row, the end test
// answers true past its last row and then moves the position on to the next
// table (up to index 9), so the blocks read tables 0..8 in turn. A field
// "cN" is column N of the current row ("" outside the table).
class ResultTableDataSet final : public ReportDataSet {
public:
    ResultTableDataSet(const ProtocolReportData& data, ReportTablePosition& position)
        : data_(data), position_(position) {}
    void First() override;
    void Next() override { ++position_.row; }
    bool Eof() override;
    std::string GetValue(std::string_view field) override;

private:
    int RowCount(int table) const;

    const ProtocolReportData& data_;
    ReportTablePosition& position_;
};

// The ten named sources over one copy of the data.
class ProtocolDataSources {
public:
    explicit ProtocolDataSources(ProtocolReportData data);
    ProtocolDataSources(const ProtocolDataSources&) = delete;
    ProtocolDataSources& operator=(const ProtocolDataSources&) = delete;

    ReportDataSources& Sources() { return sources_; }
    ReportTablePosition& Position() { return position_; }

private:
    ProtocolReportData data_;
    ReportTablePosition position_;
    HeadingDataSet heading_;
    ResultTableDataSet tables_;  // registered under all nine names
    ReportDataSources sources_;
};

// Sets the shared table position to table 0 and lays the protocol out from
// `sources`, which must hold the ten names above.
PreparedReport PrepareProtocol(ReportDataSources& sources, ReportTablePosition& position);

// The protocol of `data` as a PDF file at `path`, through ExportPdf: an
// existing file is replaced only by the whole document, the main database
// never. Raises Exception when the file cannot be written. Needs a
// QGuiApplication.
void ExportProtocolPdf(const ProtocolReportData& data, const std::string& path);

// Prepares the protocol of `data` and shows it in the modal preview window;
// returns when the user closes it.
void ShowProtocolPreview(const ProtocolReportData& data, QWidget* parent);

}  // namespace zorvex::report
