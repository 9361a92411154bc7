#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "model/RunStatistics.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/FileSizeLimit.h"
#include "support/ProcessRun.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/graph/GraphSheet.h"

namespace zorvex {
namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);
const QColor kMagenta(255, 0, 255);

// A tool of poppler-utils by its name in PATH; empty when it is not installed.
std::string FindTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::filesystem::path candidate = PathFromUtf8(dir) / PathFromUtf8(name);
        if (!dir.empty() && std::filesystem::exists(candidate)) return Utf8FromPath(candidate);
    }
    return {};
}

std::string RunTool(const std::string& tool, const std::vector<std::string>& args) {
    const auto result = test::RunProcess(tool, args, std::filesystem::current_path());
    EXPECT_EQ(result.status, 0) << tool << ": " << result.err;
    return result.out;
}

int CountColour(const QImage& image, const QColor& colour, const QRect& within) {
    int n = 0;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (image.pixelColor(x, y) == colour) ++n;
    return n;
}

// A 50 Hz run of 40 samples 10 s apart: the magnetic field rises through its
// level of 250 nT, the electric one stays low with two values missing.
class GraphSheetFixture : public ::testing::Test {
protected:
    GraphSheetFixture() {
        const TDateTime start = EncodeDateTime(2024, 3, 5, 10, 0, 0, 0);
        for (int i = 0; i < 40; ++i) {
            TMeasureRecord r;
            r.kind = kKind50Hz;
            r.time = start + i * 10 / 86400.0;
            r.mvalue = 100 + 8 * i;
            r.evalue = i == 7 || i == 8 ? -1 : 10 + std::sin(i / 3.0);
            records.push_back(r);
        }
        sheet.Caption = "Сеанс 05.03.2024 10:00:00 · 50 Гц · уровень 250.00 нТл";
        sheet.Graph.Records = &records;
        sheet.Graph.Kind = kKind50Hz;
        sheet.Graph.FirstIndex = 0;
        sheet.Graph.LastIndex = 39;
        sheet.Graph.Limits = {250, 25};
        const std::optional<double> levels[2] = {250.0, 25.0};
        const std::int64_t interval = RunIntervalMs(records, 0, 39);
        sheet.Statistics.push_back({"Весь сеанс", ComputeKindStatistics(records, 0, 39, kKind50Hz, levels, interval)});
        sheet.Statistics.push_back(
            {"Участок 10:02:00 — 10:05:00", ComputeKindStatistics(records, 12, 30, kKind50Hz, levels, interval)});
    }
    ~GraphSheetFixture() override { SetMainDatabase(nullptr); }

    std::vector<TMeasureRecord> records;
    TGraphSheet sheet;
    test::TempDir dir;
};

TEST_F(GraphSheetFixture, TheGraphPaintsAsInTheWindowAnywhereOnACanvasAndStaysInsideItsClip) {
    QImage window;
    const int axis = DrawGraph(window, 400, 300, sheet.Graph);
    QImage canvas(500, 400, QImage::Format_RGB32);
    canvas.fill(Qt::red);
    {
        QPainter painter(&canvas);
        painter.translate(30, 40);
        painter.setClipRect(QRect(0, 0, 200, 300));  // the caller shows the left half only
        EXPECT_EQ(PaintGraph(painter, 400, 300, sheet.Graph), axis);
    }
    EXPECT_EQ(canvas.copy(30, 40, 200, 300), window.copy(0, 0, 200, 300));
    EXPECT_EQ(CountColour(canvas, Qt::red, canvas.rect()), 500 * 400 - 200 * 300);
}

TEST_F(GraphSheetFixture, ThePictureShowsCaptionCurvesAndTheirWarningColour) {
    const std::string path = dir.File("graph.png");
    SaveGraphSheetPng(sheet, path);
    const QImage image(QString::fromStdString(path));
    ASSERT_EQ(image.size(), QSize(1600, 1000));
    int captionInk = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 800; ++x)
            if (image.pixelColor(x, y).lightness() < 100) ++captionInk;
    EXPECT_GT(captionInk, 200);
    EXPECT_GT(CountColour(image, kBlue, image.rect()), 100);
    EXPECT_GT(CountColour(image, kGreen, image.rect()), 100);
    EXPECT_GT(CountColour(image, kMagenta, image.rect()), 100);
}

TEST_F(GraphSheetFixture, ThePdfIsOneVectorPageWithEveryText) {
    const std::string path = dir.File("graph.pdf");
    test::WriteFileBytes(PathFromUtf8(path), std::string(200000, 'x'));  // an older, longer file must not show through
    SaveGraphSheetPdf(sheet, path);
    const std::string bytes = test::ReadFileBytes(PathFromUtf8(path));
    EXPECT_TRUE(bytes.starts_with("%PDF-"));
    EXPECT_NE(bytes.find("%%EOF", bytes.size() - 8), std::string::npos);
    EXPECT_EQ(bytes.find("/Subtype /Image"), std::string::npos) << "painted as a picture";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no file left beside it";

    const std::string pdfinfo = FindTool("pdfinfo");
    const std::string pdftotext = FindTool("pdftotext");
    ASSERT_FALSE(pdfinfo.empty() || pdftotext.empty())
        << "pdfinfo or pdftotext not found in PATH: scripts/install-deps installs poppler-utils";
    const std::string info = RunTool(pdfinfo, {path});
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    EXPECT_NE(info.find("842 x 595 pts (A4)"), std::string::npos) << "A4 landscape: " << info;
    const std::string text = RunTool(pdftotext, {path, "-"});
    std::vector<std::string> expected = {sheet.Caption.toStdString(), "Магнитное поле", "Электрическое поле",
                                         "Весь сеанс", "Участок 10:02:00 — 10:05:00"};
    for (const TGraphSheet::Block& block : sheet.Statistics)
        for (const TRunStatistics& row : block.Rows)
            for (const std::string& cell : StatisticsCells(row)) expected.push_back(cell);
    for (const std::string& each : expected) EXPECT_NE(text.find(each), std::string::npos) << each;
}

TEST_F(GraphSheetFixture, AFailedSaveSaysSoAndLeavesTheOldFile) {
    const std::string database = dir.File("data.db");
    SetMainDatabase(OpenDatabase(database));
    const std::string existing = dir.File("old");
    test::WriteFileBytes(PathFromUtf8(existing), "the previous file");
    std::filesystem::create_directory(dir.path() / "folder");
    struct Saver {
        const char* name;
        std::function<void(const TGraphSheet&, const std::string&)> save;
    };
    const Saver savers[] = {{"PNG", SaveGraphSheetPng}, {"PDF", SaveGraphSheetPdf}};
    struct Case {
        const char* name;
        std::string path;
        std::string message;  // how the error begins
        bool diskFull = false;
    };
    const Case cases[] = {
        {"a directory", dir.File("folder"), "«" + dir.File("folder") + "» — каталог"},
        {"the main database", database, "Файл «" + database + "» — основная база данных"},
        {"the disk fills up while writing", existing, "Не удалось записать файл «" + existing + "»", true},
    };
    for (const Saver& saver : savers) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(saver.name) + ": " + c.name);
            const bool regular = std::filesystem::is_regular_file(PathFromUtf8(c.path));
            const std::string before = regular ? test::ReadFileBytes(PathFromUtf8(c.path)) : "";
            std::string message;
            try {
                std::optional<test::FileSizeLimit> limit;
                if (c.diskFull) limit.emplace(1000);
                saver.save(sheet, c.path);
            } catch (const Exception& error) {
                message = error.Message();
            }
            EXPECT_TRUE(message.starts_with(c.message)) << message;
            if (regular) {
                EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(c.path)), before);
            }
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(Utf8FromPath(entry.path().filename()).starts_with("."))
            << "left behind: " << Utf8FromPath(entry.path());
}

// The text of a cell on one line, as the statistics give it.
QString OneLine(const QString& text) {
    QString line = text;
    return line.replace('\n', ' ');
}

bool Fits(const QRectF& inner, const QRectF& outer) {
    return outer.adjusted(-0.5, -0.5, 0.5, 0.5).contains(inner);
}

TEST_F(GraphSheetFixture, EveryTextFitsItsFrameAndTheSheetFitsItsArea) {
    struct Case {
        const char* name;
        QRectF area;
        QString caption;
    };
    const QString longCaption = sheet.Caption + " · " + sheet.Caption + " · " + sheet.Caption;
    const Case cases[] = {
        {"a picture of 1600 x 1000", QRectF(16, 16, 1568, 968), sheet.Caption},
        {"an A4 landscape page", QRectF(0, 0, 1047, 718), sheet.Caption},
        {"an A4 portrait page with a long caption", QRectF(0, 0, 718, 1047), longCaption},
        {"a small picture", QRectF(10, 10, 580, 380), longCaption},
    };
    std::vector<QString> expected;
    for (const std::string& heading : StatisticsHeadings()) expected.push_back(QString::fromStdString(heading));
    for (const TGraphSheet::Block& block : sheet.Statistics) {
        expected.push_back(block.Title);
        for (const TRunStatistics& row : block.Rows)
            for (const std::string& cell : StatisticsCells(row)) expected.push_back(QString::fromStdString(cell));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TGraphSheet withCaption = sheet;
        withCaption.Caption = c.caption;
        const TGraphSheetLayout layout = LayOutGraphSheet(c.area, withCaption);
        const auto textFits = [](const TSheetText& text, const QRectF& frame) {
            const QRectF needed =
                QFontMetricsF(text.Font).boundingRect(QRectF(0, 0, text.Rect.width(), 1e6), text.Flags, text.Text);
            return needed.width() <= frame.width() + 0.5 && needed.height() <= frame.height() + 0.5;
        };

        EXPECT_EQ(QString(layout.Caption.Text).replace('\n', kCaptionSeparator), c.caption);
        EXPECT_TRUE(textFits(layout.Caption, layout.Caption.Rect));
        EXPECT_TRUE(Fits(layout.Caption.Rect, c.area));
        EXPECT_LE(layout.Caption.Rect.bottom(), layout.Graph.top());
        EXPECT_TRUE(Fits(layout.Graph, c.area));
        EXPECT_GE(layout.Graph.height(), 0.4 * c.area.height()) << "the graph keeps the larger share";

        ASSERT_EQ(layout.LegendTexts.size(), 2u);
        ASSERT_EQ(layout.Swatches.size(), 2u);
        EXPECT_EQ(layout.Swatches[0].Colour, kBlue);
        EXPECT_EQ(layout.Swatches[1].Colour, kGreen);
        for (const TSheetText& text : layout.LegendTexts) {
            EXPECT_TRUE(textFits(text, text.Rect)) << text.Text.toStdString();
            EXPECT_TRUE(Fits(text.Rect, c.area));
            EXPECT_GE(text.Rect.top(), layout.Graph.bottom());
            EXPECT_LE(text.Rect.bottom(), layout.Table().top());
        }

        EXPECT_TRUE(Fits(layout.Table(), c.area)) << layout.Table().width() << " in " << c.area.width();
        ASSERT_EQ(layout.TableCells.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const TSheetText& cell = layout.TableCells[i];
            EXPECT_EQ(OneLine(cell.Text), expected[i]);
            // Clear of the frame lines on both sides.
            const QSizeF needed =
                QFontMetricsF(cell.Font).boundingRect(QRectF(0, 0, 1e6, 1e6), cell.Flags, cell.Text).size();
            EXPECT_LE(needed.width() + 2, cell.Rect.width()) << cell.Text.toStdString();
            EXPECT_LE(needed.height(), cell.Rect.height()) << cell.Text.toStdString();
        }
    }
}

// The caption of a run of the computer-workplace kinds, which is too long for
// one line of an A4 page at its first size.
const QStringList kCaptionParts = {"Сеанс 17.03.2026 10:00:00", "СВТ - Магнитное поле", "Полоса: 5Гц - 2кГц",
                                   "уровень 250.00 нТл"};

TEST_F(GraphSheetFixture, TheCaptionBreaksOnlyBetweenItsParts) {
    const QString caption = kCaptionParts.join(kCaptionSeparator);
    TGraphSheet withCaption = sheet;
    withCaption.Caption = caption;
    // From an A4 landscape page down to a width that takes one part a line.
    for (const double width : {1047.0, 718.0, 520.0, 400.0, 260.0}) {
        SCOPED_TRACE(width);
        const TSheetText text = LayOutGraphSheet(QRectF(0, 0, width, 700), withCaption).Caption;
        const QStringList lines = text.Text.split('\n');
        QStringList parts;
        for (const QString& line : lines) {
            const QSizeF size = QFontMetricsF(text.Font).boundingRect(QRectF(0, 0, 1e6, 1e6), text.Flags, line).size();
            EXPECT_LE(size.width(), width + 0.5) << line.toStdString();
            parts << line.split(kCaptionSeparator);
        }
        EXPECT_EQ(parts, kCaptionParts);
        EXPECT_EQ(text.Flags & (Qt::TextWordWrap | Qt::TextWrapAnywhere), 0) << "Qt would break the lines again";
        EXPECT_LE(lines.size() * QFontMetricsF(text.Font).lineSpacing(), text.Rect.height() + 1);
    }
    // One part wider than the line even at the smallest size still shows whole, broken anywhere.
    withCaption.Caption = QString(200, 'W');
    const TSheetText text = LayOutGraphSheet(QRectF(0, 0, 300, 700), withCaption).Caption;
    EXPECT_TRUE(text.Flags & Qt::TextWrapAnywhere);
    EXPECT_LE(QFontMetricsF(text.Font).boundingRect(QRectF(0, 0, 300, 1e6), text.Flags, text.Text).height(),
              text.Rect.height() + 0.5);
}

// On paper: the caption's level keeps its unit on its line.
TEST_F(GraphSheetFixture, ThePdfCaptionKeepsEachValueWithItsUnit) {
    const std::string pdftotext = FindTool("pdftotext");
    ASSERT_FALSE(pdftotext.empty()) << "pdftotext not found in PATH: scripts/install-deps installs poppler-utils";
    TGraphSheet withCaption = sheet;
    withCaption.Caption = kCaptionParts.join(kCaptionSeparator);
    const std::string path = dir.File("graph.pdf");
    SaveGraphSheetPdf(withCaption, path);
    // The caption's lines come first; joined where they break, they give it back only when
    // every break fell between two parts.
    const std::string caption = withCaption.Caption.toStdString();
    std::istringstream text(RunTool(pdftotext, {path, "-"}));
    std::string joined;
    for (std::string line; joined.size() < caption.size() && std::getline(text, line);)
        joined += (joined.empty() ? "" : " · ") + line;
    EXPECT_EQ(joined, caption);
}

TEST_F(GraphSheetFixture, PrintingPutsTheSheetOnOneLandscapePageAndNeverOnTheDatabase) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string printed = dir.File("printed.pdf");
    printer.setOutputFileName(QString::fromStdString(printed));
    PrintGraphSheet(sheet, printer);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_TRUE(test::ReadFileBytes(PathFromUtf8(printed)).starts_with("%PDF-"));
    if (const std::string pdfinfo = FindTool("pdfinfo"); !pdfinfo.empty()) {
        const std::string info = RunTool(pdfinfo, {printed});
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    }

    const std::string database = dir.File("data.db");
    SetMainDatabase(OpenDatabase(database));
    const std::string before = test::ReadFileBytes(PathFromUtf8(database));
    printer.setOutputFileName(QString::fromStdString(database));
    EXPECT_THROW(PrintGraphSheet(sheet, printer), Exception);
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(database)), before);
    EXPECT_TRUE(printer.outputFileName().isEmpty());
}

TEST_F(GraphSheetFixture, ThePreviewShowsOnePageAndRefusesTheDatabaseAsItsPrintFile) {
    auto prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope scope(prompts);
    const std::string database = dir.File("data.db");
    SetMainDatabase(OpenDatabase(database));
    const std::string before = test::ReadFileBytes(PathFromUtf8(database));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QPrintPreviewDialog* preview = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == "GraphPrintPreview") preview = qobject_cast<QPrintPreviewDialog*>(widget);
        if (preview == nullptr) {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            return;
        }
        seen = true;
        EXPECT_EQ(preview->windowTitle(), "Предварительный просмотр");
        EXPECT_TRUE(preview->isModal());
        EXPECT_EQ(preview->printer()->pageLayout().orientation(), QPageLayout::Landscape);
        if (auto* pages = preview->findChild<QPrintPreviewWidget*>()) {
            pages->updatePreview();
            EXPECT_EQ(pages->pageCount(), 1);
        } else {
            ADD_FAILURE() << "no pages shown";
        }
        EXPECT_TRUE(prompts->Messages().empty());
        // "Print to file" aimed at the database: refused before Qt opens the file.
        preview->printer()->setOutputFormat(QPrinter::PdfFormat);
        preview->printer()->setOutputFileName(QString::fromStdString(database));
        emit preview->paintRequested(preview->printer());
        EXPECT_TRUE(preview->printer()->outputFileName().isEmpty());
        preview->reject();
    });
    ShowGraphSheetPreview(sheet, nullptr);
    EXPECT_TRUE(seen);
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_NE(prompts->Messages()[0].find("основная база данных"), std::string::npos) << prompts->Messages()[0];
    EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(database)), before);
}

}  // namespace
}  // namespace zorvex
