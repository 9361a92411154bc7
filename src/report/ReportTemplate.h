#pragma once

#include <string>
#include <vector>

namespace zorvex::report {

// A document template: pages, and blocks of bands whose cells are placed in
// millimetres. Everything here is plain data; ReportEngine lays it out.

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center };
enum class FrameKind { None, Box, Bottom };

// Line widths of framed cells, mm: heading cells thin, data cells half that.
inline constexpr double kHeadingLine = 0.35;
inline constexpr double kDataLine = kHeadingLine / 2;

// One cell. `left` is measured from the page's left edge, `top` from the top
// of its band. The cell shows `field` of `dataSet` when a field is named (of
// the block's own source when `dataSet` is empty), otherwise `text`.
// A cell whose text needs more height grows, pushing down the cells below it
// and lengthening the cells beside it, so nothing is cut off; a stretched
// cell reaches the bottom of its band.
struct ReportCell {
    double left = 0, top = 0, width = 0, height = 0;
    std::string text;
    std::string dataSet;
    std::string field;
    bool bold = false;
    bool underline = false;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Top;
    bool wordWrap = true;
    bool stretch = false;
    FrameKind frame = FrameKind::None;
    double lineWidth = kHeadingLine;

    // Chained setters, so a template reads as a list of cells.
    ReportCell& Text(std::string value) {
        text = std::move(value);
        return *this;
    }
    ReportCell& Field(std::string name) {
        field = std::move(name);
        return *this;
    }
    ReportCell& Field(std::string source, std::string name) {
        dataSet = std::move(source);
        field = std::move(name);
        return *this;
    }
    ReportCell& Bold() {
        bold = true;
        return *this;
    }
    ReportCell& Underline() {
        underline = true;
        return *this;
    }
    ReportCell& Center() {
        align = HAlign::Center;
        return *this;
    }
    ReportCell& Right() {
        align = HAlign::Right;
        return *this;
    }
    ReportCell& Middle() {
        valign = VAlign::Center;
        return *this;
    }
    ReportCell& NoWrap() {
        wordWrap = false;
        return *this;
    }
    ReportCell& Stretch() {
        stretch = true;
        return *this;
    }
    ReportCell& Box(double width) {
        frame = FrameKind::Box;
        lineWidth = width;
        return *this;
    }
    ReportCell& BottomLine(double width) {
        frame = FrameKind::Bottom;
        lineWidth = width;
        return *this;
    }
};

// A cell spanning `x1`..`x2` mm across the page at `top`, `height` mm high.
inline ReportCell CellAt(double x1, double x2, double top, double height) {
    ReportCell cell;
    cell.left = x1;
    cell.width = x2 - x1;
    cell.top = top;
    cell.height = height;
    return cell;
}

// A strip of cells kept on one page; only a band taller than a page is cut,
// between text lines. Its height is a minimum: growing cells make it taller.
struct ReportBand {
    double height = 0;
    std::vector<ReportCell> cells;

    bool Empty() const { return cells.empty() && height <= 0; }
};

// A block prints `header`, then `body` (once, or once per record of
// `dataSet`), then `footer`. When the records continue on the next page the
// header is printed again at its top; the header stays with the first record
// and the footer with the last. `startsNewPage` begins the block on a fresh
// page unless the page is still empty.
struct ReportBlock {
    std::string name;
    std::string dataSet;
    bool startsNewPage = false;
    ReportBand header;
    std::vector<ReportBand> body;
    ReportBand footer;
};

struct ReportTemplate {
    double pageWidth = 210, pageHeight = 297;  // mm; portrait A4 unless set
    double marginTop = 10, marginBottom = 10;  // mm; cells carry their own x
    std::string fontFamily = "Arial";
    double fontSize = 10;  // pt
    std::vector<ReportBlock> blocks;
};

}  // namespace zorvex::report
