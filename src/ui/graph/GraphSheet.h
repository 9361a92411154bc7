#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <string>
#include <vector>

#include "model/RunStatistics.h"
#include "ui/graph/MonitoringGraph.h"

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace zorvex {

// Between the parts of a sheet's caption; a long caption breaks into lines
// only there.
inline const QString kCaptionSeparator = QStringLiteral(" · ");

// The graph of a monitoring run as it goes on paper or into a picture: a
// caption naming the run, the kind, the band and the level, the graph of the
// range on view with its legend, and the statistics below it.
struct TGraphSheet {
    // Parts joined by kCaptionSeparator, e.g.
    // "Сеанс 17.03.2026 10:00:00 · СВТ - Магнитное поле · Полоса: 5Гц - 2кГц · уровень 250.00 нТл"
    QString Caption;
    TGraphInput Graph;  // the records, the range on view and the limits, as the window draws them
    // Statistics blocks in order: the whole run, then (when zoomed) the range on view.
    struct Block {
        QString Title;                     // "Весь сеанс", "Участок 10:30:00 — 11:00:00"
        std::vector<TRunStatistics> Rows;  // one per curve of the kind
    };
    std::vector<Block> Statistics;
};

// A text of the sheet in its frame.
struct TSheetText {
    QRectF Rect;   // the frame; a table cell keeps its padding inside it
    QString Text;  // lines separated by '\n'
    QFont Font;
    int Flags = 0;  // Qt alignment flags
};

// Where everything of a sheet goes, in the logical units of the area it was
// laid out in. The table is laid out at its own font size and then scaled
// down as a whole where it would not fit: its cells are in table units, and
// a table unit is TableScale area units from TableOrigin.
struct TGraphSheetLayout {
    TSheetText Caption;  // its lines separated by '\n', each of whole parts
    QRectF Graph;        // whole logical units
    struct Swatch {
        QRectF Rect;
        QColor Colour;
    };
    std::vector<Swatch> Swatches;         // one per legend entry shown
    std::vector<TSheetText> LegendTexts;  // the same entries' texts
    QPointF TableOrigin;
    double TableScale = 1;
    std::vector<TSheetText> TableCells;  // headings, then per block its title and its rows
    QRectF Table() const;                // the table's frame in area units; empty without statistics
};

// The layout PaintGraphSheet paints; texts are measured for `device` (the
// screen's metrics when null).
TGraphSheetLayout LayOutGraphSheet(const QRectF& area, const TGraphSheet& sheet, const QPaintDevice* device = nullptr);

// Paints the sheet into `area` (logical units of `canvas`): caption, graph,
// legend, statistics table (StatisticsHeadings / StatisticsCells).
void PaintGraphSheet(QPainter& canvas, const QRectF& area, const TGraphSheet& sheet);

// The sheet as a picture of `size` pixels.
QImage GraphSheetImage(const TGraphSheet& sheet, QSize size = QSize(1600, 1000));

// Writes the sheet as PNG / as a one-page A4 landscape PDF (vector). The path
// is checked as every output file is (never the main database, a directory or
// a device) and the file is replaced only by a completely written one; raises
// Exception with a Russian message on failure.
void SaveGraphSheetPng(const TGraphSheet& sheet, const std::string& path);
void SaveGraphSheetPdf(const TGraphSheet& sheet, const std::string& path);

// Paints the sheet on one page of `printer` (its page rect), turned to
// landscape; a "print to file" target is checked as every output file is.
// Raises Exception with a Russian message on failure.
void PrintGraphSheet(const TGraphSheet& sheet, QPrinter& printer);

// The print preview of the sheet (a modal QPrintPreviewDialog, object name
// "GraphPrintPreview"), from which it is printed; returns when it closes.
void ShowGraphSheetPreview(const TGraphSheet& sheet, QWidget* parent);

}  // namespace zorvex
