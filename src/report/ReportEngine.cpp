#include "report/ReportEngine.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <numeric>
#include <optional>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "storage/FileSafety.h"

namespace zorvex::report {

namespace {

constexpr double kMmPerInch = 25.4;
// Text is measured at a print resolution, unhinted, so the line breaks found
// here hold on every device the prepared document is painted on.
constexpr double kMeasureDpi = 1200;
// mm between a cell's frame and its text, so that no letter touches a line.
// Vertically less is left: a 5 mm row holds one line of 10 pt text (3.9 mm)
// with this above and below, and centred text gets the rest.
constexpr double kPadX = 1.2;
constexpr double kPadY = 0.5;
// A word that would have to be split may reach into the padding up to this,
// and is then centred: "Категория" keeps whole in its 20 mm heading.
constexpr double kMinPadX = 0.5;
constexpr double kEpsilon = 0.01;  // mm

QFont MakeFont(const std::string& family, double pointSize, bool bold, bool underline) {
    QFont font(QString::fromStdString(family));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    return font;
}

// Line breaks of any kind become "\n".
QString NormalizeBreaks(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\r'), QChar(u'\n'));
    return text;
}

QString TrimEnd(const QString& text) {
    qsizetype size = text.size();
    while (size > 0 && text.at(size - 1).isSpace()) --size;
    return text.left(size);
}

// A paragraph cut where a line may break: after a run of blanks, and after a
// hyphen between two letters.
std::vector<QString> Segments(const QString& paragraph) {
    std::vector<QString> segments;
    QString current;
    for (qsizetype i = 0; i < paragraph.size(); ++i) {
        const QChar c = paragraph.at(i);
        current += c;
        const bool atEnd = i + 1 == paragraph.size();
        const QChar next = atEnd ? QChar() : paragraph.at(i + 1);
        const bool afterBlanks = c.isSpace() && !next.isSpace();
        const bool afterHyphen = c == u'-' && i > 0 && paragraph.at(i - 1).isLetter() && next.isLetter();
        if (atEnd || afterBlanks || afterHyphen) {
            segments.push_back(current);
            current.clear();
        }
    }
    return segments;
}

// Where to cut a segment too wide for a line: as many characters as fit with
// the hyphen added, at least one, and no fewer than three left for the next
// line when the word allows it.
qsizetype HyphenationPoint(const QString& segment, const QFontMetricsF& metrics, double limit) {
    qsizetype cut = 1;
    while (cut + 1 < segment.size() && metrics.horizontalAdvance(segment.left(cut + 1) + u'-') <= limit) ++cut;
    const qsizetype wordEnd = TrimEnd(segment).size();
    if (wordEnd - cut < 3 && wordEnd >= 6) cut = std::min(cut, wordEnd - 3);
    return std::max<qsizetype>(cut, 1);
}

class TextMeasure {
public:
    TextMeasure() : device_(8, 8, QImage::Format_RGB32) {
        const int dotsPerMeter = static_cast<int>(kMeasureDpi / kMmPerInch * 1000 + 0.5);
        device_.setDotsPerMeterX(dotsPerMeter);
        device_.setDotsPerMeterY(dotsPerMeter);
    }

    double LineHeight(const QFont& font) const { return QFontMetricsF(font, &device_).height() / DotsPerMm(); }

    // The lines of `text` in a column `width` mm wide. Lines break after
    // blanks and after a hyphen inside a word ("мо-нитора"); a word wider
    // than the column gets a line of its own when it fits in `wordWidth` mm,
    // and is hyphenated otherwise rather than cut off.
    std::vector<QString> BreakLines(const QString& text, const QFont& font, double width, double wordWidth,
                                    bool wrap) const {
        std::vector<QString> lines;
        if (text.isEmpty()) return lines;
        const QFontMetricsF metrics(font, &device_);
        const double limit = std::max(width, 1.0) * DotsPerMm();
        const double wordLimit = std::max(wordWidth * DotsPerMm(), limit);
        auto fits = [&](const QString& line) { return metrics.horizontalAdvance(TrimEnd(line)) <= limit; };
        auto fitsAlone = [&](const QString& word) { return metrics.horizontalAdvance(TrimEnd(word)) <= wordLimit; };
        for (const QString& paragraph : text.split(QChar(u'\n'))) {
            if (!wrap) {
                lines.push_back(paragraph);
                continue;
            }
            QString line;
            for (QString segment : Segments(paragraph)) {
                if (fits(line + segment)) {
                    line += segment;
                    continue;
                }
                if (!line.isEmpty()) {
                    lines.push_back(line);
                    line.clear();
                }
                if (fitsAlone(segment)) {
                    line = segment;
                    continue;
                }
                while (segment.size() > 1 && !fits(segment)) {
                    const qsizetype cut = HyphenationPoint(segment, metrics, limit);
                    const bool inWord = segment.at(cut - 1).isLetter() && segment.at(cut).isLetter();
                    lines.push_back(segment.left(cut) + (inWord ? QStringLiteral("-") : QString()));
                    segment = segment.mid(cut);
                }
                line = segment;
            }
            lines.push_back(line);
        }
        return lines;
    }

private:
    static double DotsPerMm() { return kMeasureDpi / kMmPerInch; }
    QImage device_;
};

struct LaidBand {
    double height = 0;
    std::vector<PreparedCell> cells;  // tops relative to the band
};

// Cuts `band` at `at` mm below its top: returns the part above the cut and
// leaves the rest, moved up to start at 0, in `band`. A cell across the cut
// keeps the text lines that end above it; the others go to its continuation.
// nullopt when nothing would go above the cut.
std::optional<LaidBand> SplitBand(LaidBand& band, double at) {
    LaidBand above, below;
    above.height = at;
    bool progress = false;
    for (PreparedCell& cell : band.cells) {
        const double bottom = cell.top + cell.height;
        if (bottom <= at + kEpsilon) {
            above.cells.push_back(cell);
            progress = true;
            continue;
        }
        if (cell.top >= at - kEpsilon) {
            cell.top -= at;
            below.cells.push_back(cell);
            continue;
        }
        const double room = at - cell.top - 2 * kPadY;
        const std::size_t fitting =
            room <= 0 || cell.lineHeight <= 0 ? 0 : static_cast<std::size_t>(room / cell.lineHeight + kEpsilon);
        const std::size_t kept = std::min(fitting, cell.lines.size());
        PreparedCell upper = cell;
        upper.height = at - cell.top;
        upper.valign = VAlign::Top;
        upper.lines.assign(cell.lines.begin(), cell.lines.begin() + static_cast<std::ptrdiff_t>(kept));
        PreparedCell lower = cell;
        lower.top = 0;
        lower.valign = VAlign::Top;
        lower.lines.assign(cell.lines.begin() + static_cast<std::ptrdiff_t>(kept), cell.lines.end());
        const double rest = lower.lines.empty() ? 0 : lower.lines.size() * lower.lineHeight + 2 * kPadY;
        lower.height = std::max(bottom - at, rest);
        progress = progress || kept > 0;
        above.cells.push_back(std::move(upper));
        below.cells.push_back(std::move(lower));
    }
    if (!progress) return std::nullopt;
    below.height = std::max(0.0, band.height - at);
    for (const PreparedCell& cell : below.cells) below.height = std::max(below.height, cell.top + cell.height);
    band = std::move(below);
    return above;
}

class Preparer {
public:
    Preparer(const ReportTemplate& layout, ReportDataSources& sources) : layout_(layout), sources_(sources) {
        report_.pageWidth = layout.pageWidth;
        report_.pageHeight = layout.pageHeight;
        report_.fontFamily = layout.fontFamily;
        report_.fontSize = layout.fontSize;
    }

    PreparedReport Run() {
        NewPage();
        for (const ReportBlock& block : layout_.blocks) PlaceBlock(block);
        return std::move(report_);
    }

private:
    ReportDataSet& Source(const std::string& name) const {
        ReportDataSet* source = sources_.Find(name);
        if (source == nullptr) throw Exception(Format("Нет источника данных \"%s\" для документа", {name}));
        return *source;
    }

    std::string CellText(const ReportCell& cell, ReportDataSet* blockSource) const {
        if (cell.field.empty()) return cell.text;
        if (cell.dataSet.empty()) {
            if (blockSource == nullptr)
                throw Exception(Format("Поле \"%s\" документа не связано с источником данных", {cell.field}));
            return blockSource->GetValue(cell.field);
        }
        return Source(cell.dataSet).GetValue(cell.field);
    }

    LaidBand LayOutBand(const ReportBand& band, ReportDataSet* blockSource) const {
        LaidBand laid;
        laid.cells.reserve(band.cells.size());
        std::vector<double> needed;
        double designBottom = 0;
        for (const ReportCell& cell : band.cells) {
            const QFont font = MakeFont(layout_.fontFamily, layout_.fontSize, cell.bold, cell.underline);
            PreparedCell out;
            out.left = cell.left;
            out.top = cell.top;
            out.width = cell.width;
            out.height = cell.height;
            out.lineHeight = measure_.LineHeight(font);
            out.lines = measure_.BreakLines(NormalizeBreaks(CellText(cell, blockSource)), font, cell.width - 2 * kPadX,
                                            cell.width - 2 * kMinPadX, cell.wordWrap);
            out.bold = cell.bold;
            out.underline = cell.underline;
            out.align = cell.align;
            out.valign = cell.valign;
            out.frame = cell.frame;
            out.lineWidth = cell.lineWidth;
            needed.push_back(out.lines.empty() ? 0 : out.lines.size() * out.lineHeight + 2 * kPadY);
            designBottom = std::max(designBottom, cell.top + cell.height);
            laid.cells.push_back(std::move(out));
        }

        // Grow cells top to bottom: what lies below moves down, what reaches
        // past the grown cell's old bottom (its row neighbours, cells spanning
        // several rows) lengthens with it, so frames stay closed.
        std::vector<std::size_t> order(laid.cells.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return laid.cells[a].top < laid.cells[b].top; });
        for (const std::size_t i : order) {
            PreparedCell& cell = laid.cells[i];
            const double delta = needed[i] - cell.height;
            if (delta <= kEpsilon) continue;
            const double oldBottom = cell.top + cell.height;
            cell.height += delta;
            for (std::size_t j = 0; j < laid.cells.size(); ++j) {
                if (j == i) continue;
                PreparedCell& other = laid.cells[j];
                if (other.top >= oldBottom - kEpsilon)
                    other.top += delta;
                else if (other.top + other.height >= oldBottom - kEpsilon)
                    other.height += delta;
            }
        }

        double grownBottom = 0;
        for (const PreparedCell& cell : laid.cells) grownBottom = std::max(grownBottom, cell.top + cell.height);
        laid.height = std::max(band.height, band.height + grownBottom - designBottom);
        for (std::size_t i = 0; i < laid.cells.size(); ++i) {
            if (band.cells[i].stretch)
                laid.cells[i].height = std::max(laid.cells[i].height, laid.height - laid.cells[i].top);
        }
        return laid;
    }

    void NewPage() {
        report_.pages.emplace_back();
        y_ = layout_.marginTop;
        pageHasContent_ = false;
    }

    bool Fits(double height) const { return y_ + height <= layout_.pageHeight - layout_.marginBottom + kEpsilon; }

    void Place(const LaidBand& band) {
        if (band.height <= 0 && band.cells.empty()) return;
        for (PreparedCell cell : band.cells) {
            cell.top += y_;
            report_.pages.back().cells.push_back(std::move(cell));
        }
        y_ += band.height;
        pageHasContent_ = true;
    }

    // Places the bands of one record; the header goes with the first band
    // of the first record and again above each continuation, and the last
    // band keeps `keepWith` mm below it free for the block's footer.
    void PlaceRecord(const std::vector<LaidBand>& bands, const LaidBand& header, bool& headerPlaced, double keepWith) {
        for (std::size_t i = 0; i < bands.size(); ++i) {
            const LaidBand& band = bands[i];
            const double needed = band.height + (i + 1 == bands.size() ? keepWith : 0);
            if (!headerPlaced) {
                if (!Fits(header.height + needed) && pageHasContent_) NewPage();
                Place(header);
                headerPlaced = true;
            } else if (!Fits(needed) && pageHasContent_) {
                NewPage();
                Place(header);
            }
            PlaceSplitting(band, header);
        }
    }

    // A band taller than the room left even on a fresh page is cut at the
    // page bottom between text lines and continues under the repeated header.
    void PlaceSplitting(LaidBand band, const LaidBand& header) {
        while (!Fits(band.height)) {
            const double room = layout_.pageHeight - layout_.marginBottom - y_;
            std::optional<LaidBand> above = SplitBand(band, room);
            if (!above) break;
            Place(*above);
            NewPage();
            Place(header);
        }
        Place(band);
    }

    void PlaceBlock(const ReportBlock& block) {
        if (block.startsNewPage && pageHasContent_) NewPage();
        ReportDataSet* source = block.dataSet.empty() ? nullptr : &Source(block.dataSet);
        const LaidBand header = LayOutBand(block.header, source);
        const LaidBand footer = LayOutBand(block.footer, source);
        bool headerPlaced = false;
        auto layOutBody = [&] {
            std::vector<LaidBand> bands;
            for (const ReportBand& band : block.body) bands.push_back(LayOutBand(band, source));
            return bands;
        };
        if (source == nullptr) {
            PlaceRecord(layOutBody(), header, headerPlaced, footer.height);
        } else {
            // A record is placed once the next end test tells whether it is
            // the last one, which the footer must not be parted from.
            source->First();
            bool end = source->Eof();
            while (!end) {
                const std::vector<LaidBand> bands = layOutBody();
                source->Next();
                end = source->Eof();
                PlaceRecord(bands, header, headerPlaced, end ? footer.height : 0);
            }
        }
        if (!headerPlaced) PlaceAlone(header, headerPlaced);
        if (!Fits(footer.height) && pageHasContent_) NewPage();
        Place(footer);
    }

    // A header of a block without records still prints, so an empty table
    // shows its heading.
    void PlaceAlone(const LaidBand& header, bool& headerPlaced) {
        if (!Fits(header.height) && pageHasContent_) NewPage();
        Place(header);
        headerPlaced = true;
    }

    const ReportTemplate& layout_;
    ReportDataSources& sources_;
    TextMeasure measure_;
    PreparedReport report_;
    double y_ = 0;
    bool pageHasContent_ = false;
};

}  // namespace

PreparedReport PrepareReport(const ReportTemplate& layout, ReportDataSources& sources) {
    if (QGuiApplication::instance() == nullptr) throw Exception("Документ нельзя построить: приложение Qt не создано");
    return Preparer(layout, sources).Run();
}

void RenderReport(const PreparedReport& report, QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) throw Exception("Не удалось начать вывод документа");
    painter.setRenderHint(QPainter::Antialiasing);
    const double dotsX = device.logicalDpiX() / kMmPerInch;
    const double dotsY = device.logicalDpiY() / kMmPerInch;
    auto rect = [&](const PreparedCell& cell) {
        return QRectF(cell.left * dotsX, cell.top * dotsY, cell.width * dotsX, cell.height * dotsY);
    };

    for (std::size_t page = 0; page < report.pages.size(); ++page) {
        if (page > 0 && !device.newPage()) throw Exception("Не удалось начать новую страницу документа");
        for (const PreparedCell& cell : report.pages[page].cells) {
            const QRectF box = rect(cell);
            if (!cell.lines.empty()) {
                painter.setFont(MakeFont(report.fontFamily, report.fontSize, cell.bold, cell.underline));
                painter.setPen(Qt::black);
                const QFontMetricsF metrics(painter.font(), &device);
                const double textHeight = cell.lines.size() * cell.lineHeight;
                double top = cell.top + kPadY;
                if (cell.valign == VAlign::Center) top = cell.top + std::max(kPadY, (cell.height - textHeight) / 2);
                for (std::size_t i = 0; i < cell.lines.size(); ++i) {
                    const QString& line = cell.lines[i];
                    // Alignment ignores the blanks a line ends with, as wrapped text does.
                    const double width = metrics.horizontalAdvance(TrimEnd(line));
                    double x = box.left() + kPadX * dotsX;
                    if (cell.align == HAlign::Right)
                        x = box.right() - kPadX * dotsX - width;
                    else if (cell.align == HAlign::Center)
                        x = box.left() + (box.width() - width) / 2;
                    // A line reaching into the padding keeps equal room on both sides.
                    if (width > box.width() - 2 * kPadX * dotsX)
                        x = box.left() + std::max(kMinPadX * dotsX, (box.width() - width) / 2);
                    const double baseline = (top + i * cell.lineHeight) * dotsY + metrics.ascent();
                    painter.drawText(QPointF(x, baseline), line);
                }
            }
            if (cell.frame != FrameKind::None) {
                QPen pen(Qt::black, cell.lineWidth * dotsX, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
                painter.setPen(pen);
                painter.setBrush(Qt::NoBrush);
                if (cell.frame == FrameKind::Box)
                    painter.drawRect(box);
                else
                    painter.drawLine(box.bottomLeft(), box.bottomRight());
            }
        }
    }
    if (!painter.end()) throw Exception("Не удалось завершить вывод документа");
}

void ExportPdf(const PreparedReport& report, const std::string& path) {
    // The whole document is made in memory first: the writer reports no
    // failure of its device, so a file written by it directly could end
    // truncated (a full disk) with nothing said. The file is then replaced
    // in one step, or left as it was.
    CheckOutputPath(path);
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) throw Exception("Не удалось записать файл «" + path + "»");
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QSizeF(report.pageWidth, report.pageHeight), QPageSize::Millimeter));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        writer.setResolution(static_cast<int>(kMeasureDpi));
        writer.setCreator(QStringLiteral("Zorvex"));
        try {
            RenderReport(report, writer);
        } catch (const Exception& error) {
            throw Exception("Не удалось записать файл «" + path + "»: " + error.Message());
        }
    }
    WriteFileReplacing(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace zorvex::report
