#include "ui/graph/GraphSheet.h"

#include <QBuffer>
#include <QByteArray>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "base/Exceptions.h"
#include "base/Prompts.h"
#include "report/PrintTarget.h"
#include "storage/FileSafety.h"

namespace zorvex {

namespace {

// ---- the sheet's geometry, in logical units (pixels of a picture)
constexpr double kGap = 10;  // between caption, graph, legend and table
constexpr int kCaptionPixels = 20;
constexpr int kSmallestCaptionPixels = 10;
constexpr int kCaptionLines = 2;  // a longer caption gets a smaller font
constexpr int kLegendPixels = 12;
constexpr double kSwatchWidth = 18;
constexpr double kSwatchHeight = 9;
constexpr double kSwatchTextGap = 6;
constexpr double kLegendEntryGap = 24;
constexpr int kTablePixels = 12;
constexpr double kCellPadX = 5;
constexpr double kCellPadY = 3;
// The table takes at most this share of what caption and legend leave; the graph keeps the rest.
constexpr double kTableShare = 0.5;
// Paper is laid out at this many logical units per inch, so that the graph's
// 11-pixel font prints at about 8 pt whatever the printer's resolution.
constexpr double kPaperUnitsPerInch = 96;
constexpr int kPdfResolution = 1200;
constexpr double kPdfMarginMm = 10;
constexpr int kPictureMargin = 16;

// Fonts of the sheet keep their proportions at any scale: no hinting, so the
// texts measured here take the same room on paper as in a picture.
QFont SheetFont(int pixels, bool bold) {
    QFont font = GraphFont();
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QFontMetricsF MetricsOf(const QFont& font, const QPaintDevice* device) {
    return device != nullptr ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The size of a text of one or more lines, as drawn in a rectangle.
QSizeF TextSize(const QFontMetricsF& metrics, const QString& text) {
    return metrics.boundingRect(QRectF(0, 0, 1e6, 1e6), Qt::AlignLeft | Qt::AlignTop, text).size();
}

// A heading on two lines, broken at the space that makes its wider line narrowest.
QString TwoLineHeading(const QFontMetricsF& metrics, const QString& heading) {
    QString best = heading;
    double bestWidth = metrics.horizontalAdvance(heading);
    for (qsizetype at = heading.indexOf(' '); at >= 0; at = heading.indexOf(' ', at + 1)) {
        const QString first = heading.left(at);
        const QString second = heading.mid(at + 1);
        const double width = std::max(metrics.horizontalAdvance(first), metrics.horizontalAdvance(second));
        if (width < bestWidth) {
            bestWidth = width;
            best = first + '\n' + second;
        }
    }
    return best;
}

// The caption's parts as lines no wider than `width`: a line breaks only
// between parts, so that no value is parted from its unit. A part wider than
// the width takes a line of its own.
QStringList CaptionLines(const QFontMetricsF& metrics, const QStringList& parts, double width) {
    QStringList lines;
    for (const QString& part : parts) {
        const QString joined = lines.isEmpty() ? part : lines.back() + kCaptionSeparator + part;
        if (!lines.isEmpty() && metrics.horizontalAdvance(joined) <= width) {
            lines.back() = joined;
        } else {
            lines << part;
        }
    }
    return lines;
}

TSheetText LayOutCaption(const QRectF& area, const QString& caption, const QPaintDevice* device) {
    TSheetText text;
    text.Text = caption;
    text.Flags = Qt::AlignLeft | Qt::AlignTop;
    if (caption.isEmpty()) {
        text.Rect = QRectF(area.topLeft(), QSizeF(area.width(), 0));
        return text;
    }
    const QStringList parts = caption.split(kCaptionSeparator);
    QStringList lines;
    bool fits = false;
    for (int pixels = kCaptionPixels; pixels >= kSmallestCaptionPixels; --pixels) {
        text.Font = SheetFont(pixels, true);
        const QFontMetricsF metrics = MetricsOf(text.Font, device);
        lines = CaptionLines(metrics, parts, area.width());
        fits = std::all_of(lines.begin(), lines.end(),
                           [&](const QString& line) { return metrics.horizontalAdvance(line) <= area.width(); });
        if (fits && lines.size() <= kCaptionLines) break;
    }
    text.Text = lines.join('\n');
    // A part too long for a line even at the smallest size breaks inside its
    // words rather than lose any of them.
    if (!fits) text.Flags |= Qt::TextWrapAnywhere;
    const QRectF needed =
        MetricsOf(text.Font, device).boundingRect(QRectF(0, 0, area.width(), 1e6), text.Flags, text.Text);
    text.Rect = QRectF(area.topLeft(), QSizeF(area.width(), std::ceil(needed.height())));
    return text;
}

// The statistics table at its own font size, from (0, 0): headings, then each
// block's title across the table and its rows.
std::vector<TSheetText> LayOutTable(const TGraphSheet& sheet, double availableWidth, const QPaintDevice* device) {
    if (sheet.Statistics.empty()) return {};
    const QFont plain = SheetFont(kTablePixels, false);
    const QFont bold = SheetFont(kTablePixels, true);
    const QFontMetricsF plainMetrics = MetricsOf(plain, device);
    const QFontMetricsF boldMetrics = MetricsOf(bold, device);

    const std::vector<std::string>& headingTexts = StatisticsHeadings();
    const std::size_t columns = headingTexts.size();
    std::vector<QString> headings;
    for (const std::string& heading : headingTexts) headings.push_back(Q(heading));
    std::vector<std::vector<QString>> rows;  // per block its rows
    std::vector<double> cellWidths(columns, 0);
    for (const TGraphSheet::Block& block : sheet.Statistics) {
        for (const TRunStatistics& statistics : block.Rows) {
            std::vector<QString> row;
            const std::vector<std::string> cells = StatisticsCells(statistics);
            for (std::size_t c = 0; c < columns; ++c) {
                row.push_back(c < cells.size() ? Q(cells[c]) : QString());
                cellWidths[c] = std::max(cellWidths[c], plainMetrics.horizontalAdvance(row.back()));
            }
            rows.push_back(std::move(row));
        }
    }
    const auto widthsWith = [&](const std::vector<QString>& texts) {
        std::vector<double> widths(columns);
        for (std::size_t c = 0; c < columns; ++c)
            widths[c] = std::ceil(std::max(TextSize(boldMetrics, texts[c]).width(), cellWidths[c]) + 2 * kCellPadX);
        return widths;
    };
    const auto sum = [](const std::vector<double>& widths) {
        double total = 0;
        for (const double w : widths) total += w;
        return total;
    };
    std::vector<double> widths = widthsWith(headings);
    if (sum(widths) > availableWidth) {
        // Headings wider than their values go on two lines.
        std::vector<QString> split = headings;
        for (std::size_t c = 0; c < columns; ++c)
            if (boldMetrics.horizontalAdvance(headings[c]) > cellWidths[c])
                split[c] = TwoLineHeading(boldMetrics, headings[c]);
        headings = std::move(split);
        widths = widthsWith(headings);
    }
    double headingHeight = 0;
    for (const QString& heading : headings)
        headingHeight = std::max(headingHeight, TextSize(boldMetrics, heading).height());
    headingHeight = std::ceil(headingHeight + 2 * kCellPadY);
    const double rowHeight = std::ceil(std::max(plainMetrics.height(), boldMetrics.height()) + 2 * kCellPadY);
    const double tableWidth = sum(widths);

    std::vector<TSheetText> cells;
    double x = 0;
    for (std::size_t c = 0; c < columns; ++c) {
        cells.push_back({QRectF(x, 0, widths[c], headingHeight), headings[c], bold, Qt::AlignCenter});
        x += widths[c];
    }
    double y = headingHeight;
    std::size_t row = 0;
    for (const TGraphSheet::Block& block : sheet.Statistics) {
        cells.push_back({QRectF(0, y, tableWidth, rowHeight), block.Title, bold, Qt::AlignLeft | Qt::AlignVCenter});
        y += rowHeight;
        for (std::size_t r = 0; r < block.Rows.size(); ++r, ++row) {
            x = 0;
            for (std::size_t c = 0; c < columns; ++c) {
                const int align = c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter;
                cells.push_back({QRectF(x, y, widths[c], rowHeight), rows[row][c], plain, align});
                x += widths[c];
            }
            y += rowHeight;
        }
    }
    return cells;
}

QRectF BoundsOf(const std::vector<TSheetText>& cells) {
    QRectF bounds;
    for (const TSheetText& cell : cells) bounds = bounds.united(cell.Rect);
    return bounds;
}

void DrawText(QPainter& canvas, const TSheetText& text, double padX = 0, double padY = 0) {
    canvas.setFont(text.Font);
    canvas.drawText(text.Rect.adjusted(padX, padY, -padX, -padY), text.Flags | Qt::TextDontClip, text.Text);
}

// The sheet on the page of a printer or a PDF writer, whose painter starts at
// the page's paint rectangle.
void PaintOnPage(QPainter& canvas, const QPaintDevice& page, const TGraphSheet& sheet) {
    const double scale = page.logicalDpiX() / kPaperUnitsPerInch;
    canvas.scale(scale, scale);
    PaintGraphSheet(canvas, QRectF(0, 0, page.width() / scale, page.height() / scale), sheet);
}

void PaintOnPrinter(const TGraphSheet& sheet, QPrinter& printer) {
    report::CheckPrintTarget(printer);
    QPainter canvas;
    if (!canvas.begin(&printer)) throw Exception("Не удалось начать печать");
    PaintOnPage(canvas, printer, sheet);
    canvas.end();
}

std::string FailedWrite(const std::string& path) {
    return "Не удалось записать файл «" + path + "»";
}

void WriteBytes(const std::string& path, const QByteArray& bytes) {
    WriteFileReplacing(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace

QRectF TGraphSheetLayout::Table() const {
    if (TableCells.empty()) return {};
    const QRectF bounds = BoundsOf(TableCells);
    return QRectF(TableOrigin + bounds.topLeft() * TableScale, bounds.size() * TableScale);
}

TGraphSheetLayout LayOutGraphSheet(const QRectF& area, const TGraphSheet& sheet, const QPaintDevice* device) {
    TGraphSheetLayout layout;
    layout.Caption = LayOutCaption(area, sheet.Caption, device);
    double top = layout.Caption.Rect.bottom() + (sheet.Caption.isEmpty() ? 0 : kGap);

    // The legend's entries, one row under the graph.
    const TGraphLegend legend = GraphLegend(sheet.Graph.Kind);
    const QFont legendFont = SheetFont(kLegendPixels, false);
    const QFontMetricsF legendMetrics = MetricsOf(legendFont, device);
    double legendHeight = 0;
    for (const QString& text : legend.Texts)
        if (!text.isEmpty()) legendHeight = std::max(kSwatchHeight, std::ceil(legendMetrics.height()));

    layout.TableCells = LayOutTable(sheet, area.width(), device);
    const QRectF table = BoundsOf(layout.TableCells);
    const double rest = area.bottom() - top - (legendHeight > 0 ? legendHeight + kGap : 0);
    double tableHeight = 0;
    if (!layout.TableCells.empty()) {
        layout.TableScale =
            std::min({1.0, area.width() / table.width(), std::max(rest, 0.0) * kTableShare / table.height()});
        tableHeight = table.height() * layout.TableScale;
    }
    const double graphHeight = std::max(0.0, std::floor(rest - (tableHeight > 0 ? tableHeight + kGap : 0)));
    layout.Graph = QRectF(std::round(area.left()), std::round(top), std::floor(area.width()), graphHeight);
    top = layout.Graph.bottom() + kGap;

    double x = layout.Graph.left() + kGraphAxisX;
    for (std::size_t j = 0; j < legend.Texts.size(); ++j) {
        if (legend.Texts[j].isEmpty()) continue;
        const QColor colour = j == 0 ? legend.FirstSwatch : kCurveColours[j];
        layout.Swatches.push_back(
            {QRectF(x, top + (legendHeight - kSwatchHeight) / 2, kSwatchWidth, kSwatchHeight), colour});
        x += kSwatchWidth + kSwatchTextGap;
        const double width = std::ceil(legendMetrics.horizontalAdvance(legend.Texts[j]));
        layout.LegendTexts.push_back(
            {QRectF(x, top, width, legendHeight), legend.Texts[j], legendFont, Qt::AlignLeft | Qt::AlignVCenter});
        x += width + kLegendEntryGap;
    }
    if (legendHeight > 0) top += legendHeight + kGap;
    layout.TableOrigin = QPointF(area.left(), top);
    return layout;
}

void PaintGraphSheet(QPainter& canvas, const QRectF& area, const TGraphSheet& sheet) {
    const TGraphSheetLayout layout = LayOutGraphSheet(area, sheet, canvas.device());
    canvas.save();
    canvas.fillRect(area, Qt::white);
    canvas.setPen(Qt::black);
    if (!layout.Caption.Text.isEmpty()) DrawText(canvas, layout.Caption);

    const QRectF& graph = layout.Graph;
    canvas.save();
    canvas.translate(graph.topLeft());
    canvas.setClipRect(QRectF(QPointF(0, 0), graph.size()), Qt::IntersectClip);
    PaintGraph(canvas, static_cast<int>(graph.width()), static_cast<int>(graph.height()), sheet.Graph);
    canvas.restore();

    for (const TGraphSheetLayout::Swatch& swatch : layout.Swatches) {
        canvas.setPen(Qt::white);
        canvas.setBrush(swatch.Colour);
        canvas.drawRoundedRect(swatch.Rect, 3, 3);
    }
    canvas.setBrush(Qt::NoBrush);
    canvas.setPen(Qt::black);
    for (const TSheetText& text : layout.LegendTexts) DrawText(canvas, text);

    canvas.save();
    canvas.translate(layout.TableOrigin);
    canvas.scale(layout.TableScale, layout.TableScale);
    canvas.setPen(QPen(Qt::black, 1));
    for (const TSheetText& cell : layout.TableCells) {
        canvas.drawRect(cell.Rect);
        DrawText(canvas, cell, kCellPadX, kCellPadY);
    }
    canvas.restore();
    canvas.restore();
}

QImage GraphSheetImage(const TGraphSheet& sheet, QSize size) {
    if (size.isEmpty()) return {};
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter canvas(&image);
    const int margin = std::min({kPictureMargin, size.width() / 20, size.height() / 20});
    PaintGraphSheet(canvas, QRectF(image.rect()).adjusted(margin, margin, -margin, -margin), sheet);
    return image;
}

void SaveGraphSheetPng(const TGraphSheet& sheet, const std::string& path) {
    CheckOutputPath(path);
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !GraphSheetImage(sheet).save(&buffer, "PNG"))
            throw Exception(FailedWrite(path));
    }
    WriteBytes(path, bytes);
}

void SaveGraphSheetPdf(const TGraphSheet& sheet, const std::string& path) {
    // Made in memory first: the writer reports no failure of its device, so a
    // file it wrote directly could end truncated with nothing said.
    CheckOutputPath(path);
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) throw Exception(FailedWrite(path));
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                              QPageLayout::Millimeter);
        writer.setResolution(kPdfResolution);
        writer.setCreator(QStringLiteral("Zorvex"));
        writer.setTitle(sheet.Caption);
        QPainter canvas;
        if (!canvas.begin(&writer)) throw Exception(FailedWrite(path));
        PaintOnPage(canvas, writer, sheet);
        canvas.end();
    }
    WriteBytes(path, bytes);
}

void PrintGraphSheet(const TGraphSheet& sheet, QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    PaintOnPrinter(sheet, printer);
}

void ShowGraphSheetPreview(const TGraphSheet& sheet, QWidget* parent) {
    QPrintPreviewDialog preview(parent);
    preview.setObjectName(QStringLiteral("GraphPrintPreview"));
    preview.setWindowTitle(QStringLiteral("Предварительный просмотр"));
    preview.setModal(true);
    // Landscape to begin with; the orientation chosen in the preview then holds.
    preview.printer()->setPageSize(QPageSize(QPageSize::A4));
    preview.printer()->setPageOrientation(QPageLayout::Landscape);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&sheet](QPrinter* printer) {
        try {
            PaintOnPrinter(sheet, *printer);
        } catch (const Exception& error) {
            Prompts().ShowMessage(error.Message(), "Ошибка", MessageIcon::Error);
        }
    });
    preview.exec();
}

}  // namespace zorvex
