#pragma once

#include <QString>
#include <string>
#include <vector>

#include "report/ReportData.h"
#include "report/ReportTemplate.h"

class QPagedPaintDevice;

namespace zorvex::report {

// A document laid out into pages: every cell with its final place on its page
// (mm from the page's top-left corner) and its text already broken into
// lines. Preparing reads the data sources once; the prepared document can be
// painted any number of times (preview, printing, PDF) without reading them
// again.
struct PreparedCell {
    double left = 0, top = 0, width = 0, height = 0;
    std::vector<QString> lines;
    double lineHeight = 0;  // mm between baselines
    bool bold = false;
    bool underline = false;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Top;
    FrameKind frame = FrameKind::None;
    double lineWidth = 0;
};

struct PreparedPage {
    std::vector<PreparedCell> cells;
};

struct PreparedReport {
    double pageWidth = 210, pageHeight = 297;
    std::string fontFamily = "Arial";
    double fontSize = 10;
    std::vector<PreparedPage> pages;
};

// Lays the template out with the data of `sources`: texts are used as given
// (never trimmed), wrapped at blanks and inner hyphens, cells grow to show
// all their lines, tables continue under their repeated heading, and a band
// taller than a page is cut between text lines. A missing source named by
// the template raises Exception. Needs a QGuiApplication (the "offscreen"
// platform is enough for headless use).
PreparedReport PrepareReport(const ReportTemplate& layout, ReportDataSources& sources);

// Paints every page onto `device`, which must address the whole sheet (a
// QPrinter with fullPage, a QPdfWriter without margins); the first page goes
// to the device's current page.
void RenderReport(const PreparedReport& report, QPagedPaintDevice& device);

// Writes the document as a PDF file of the report's page size (A4 for the
// protocol), replacing an existing file only once the whole document is
// written (WriteFileReplacing). Refuses the main database, directories and
// targets that are not regular files; raises Exception on any failure, with
// an existing file left untouched.
void ExportPdf(const PreparedReport& report, const std::string& path);

}  // namespace zorvex::report
