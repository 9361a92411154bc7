// Zoom and pan of the monitoring graph, the statistics strip and saving the graph.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRubberBand>
#include <QScrollBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "MainformFixture.h"
#include "base/Paths.h"
#include "device/DemoMeter.h"
#include "ui/graph/GraphView.h"
#include "ui/graph/MonitoringGraph.h"

namespace zorvex {

// Defined beside the GraphView tests: ranges print as First..Last.
void PrintTo(const TIndexRange& range, std::ostream* out);

namespace test {
namespace {

const TDateTime kStart = EncodeDateTime(2026, 3, 17, 10, 0, 0, 0);

TDateTime Second(int s) {
    return kStart + s / 86400.0;
}

// A run of `values` of `kind` every 10 s from kStart, and more lists on request.
TMeasureDataP MonitoringRun(int kind, const std::vector<double>& values) {
    TMeasureDataP data;
    auto& records = data(kMethodMonitoring, kind).Records;
    for (std::size_t i = 0; i < values.size(); ++i) {
        records.push_back(Record(kind, Second(10 * static_cast<int>(i)), values[i], values[i] / 10));
    }
    return data;
}

// Values whose every two neighbours hold the same largest value, so that the
// value scale (and with it the axis position) is the same in every view.
std::vector<double> EvenRun(int count) {
    std::vector<double> values;
    for (int i = 0; i < count; ++i) values.push_back(i % 2 == 0 ? 100 : 150);
    return values;
}

class MonitoringAnalysisTest : public MainformTest {
protected:
    void ShowRun(int kind, const std::vector<double>& values) {
        Show(MonitoringRun(kind, values), kMethodMonitoring, kind);
    }

    QWidget* Graph() const { return form->Graph; }
    int Middle() const { return Graph()->height() / 2; }

    // The x of sample `index` in the view on the picture.
    int XOf(int index) const {
        const TPlotSpan plot = form->GraphPlotSpan();
        const TIndexRange view = form->View();
        return plot.AxisX +
               static_cast<int>(std::lround(static_cast<double>(index - view.First) * plot.Width / (view.Count() - 1)));
    }

    void Mouse(QEvent::Type type, int x, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {}) {
        const QPointF at(x, Middle());
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, at, Graph()->mapToGlobal(at), button, held, modifiers);
        QApplication::sendEvent(Graph(), &event);
    }
    void Drag(int x1, int x2, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {}) {
        Mouse(QEvent::MouseButtonPress, x1, button, modifiers);
        Mouse(QEvent::MouseMove, x2, Qt::NoButton, modifiers);
        Mouse(QEvent::MouseButtonRelease, x2, button, modifiers);
    }
    void Wheel(int x, QPoint angle, Qt::KeyboardModifiers modifiers = {}) {
        const QPointF at(x, Middle());
        QWheelEvent event(at, Graph()->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(Graph(), &event);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(Graph(), &event);
    }

    // The range the graph draws.
    TIndexRange Drawn() const {
        const TGraphInput input = form->GraphInput();
        return {input.FirstIndex, input.LastIndex};
    }

    std::vector<QString> StatRow(int row) const {
        std::vector<QString> texts;
        for (int col = 0; col < form->StatGrid->columnCount(); ++col) {
            const QTableWidgetItem* item = form->StatGrid->item(row, col);
            texts.push_back(item != nullptr ? item->text() : QString());
        }
        return texts;
    }
};

TEST_F(MonitoringAnalysisTest, PointerAndKeysZoomAndPanTheDrawnRangeInsideTheRun) {
    ShowRun(kKindSvtMagnetic, EvenRun(101));
    ASSERT_GT(form->GraphPlotSpan().Width, 200);
    const TIndexRange run{0, 100};
    EXPECT_EQ(Drawn(), run);

    // The wheel zooms around the sample under the pointer, which stays under it.
    const int x50 = XOf(50);
    Wheel(x50, QPoint(0, 120));
    EXPECT_EQ(Drawn().Count(), 81);
    EXPECT_EQ(IndexAtX(form->View(), form->GraphPlotSpan(), x50), 50);
    EXPECT_TRUE(form->Zoomed());
    Wheel(x50, QPoint(0, -240));
    EXPECT_EQ(Drawn(), run);

    // A drag selects a range; the rubber band shows it on the way.
    Mouse(QEvent::MouseButtonPress, XOf(20), Qt::LeftButton);
    Mouse(QEvent::MouseMove, XOf(40), Qt::NoButton);
    EXPECT_TRUE(form->GraphRubberBand->isVisible());
    Mouse(QEvent::MouseButtonRelease, XOf(40), Qt::LeftButton);
    EXPECT_FALSE(form->GraphRubberBand->isVisible());
    EXPECT_EQ(Drawn(), (TIndexRange{20, 40}));
    Drag(XOf(30), XOf(30) + 2);  // a click
    EXPECT_EQ(Drawn(), (TIndexRange{20, 40}));

    // Dragging with Shift or the middle button moves the samples with the pointer.
    const int fiveSamples = XOf(25) - XOf(20);
    Drag(XOf(30), XOf(30) + fiveSamples, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(Drawn(), (TIndexRange{15, 35}));
    Drag(XOf(30), XOf(30) - fiveSamples, Qt::MiddleButton);
    EXPECT_EQ(Drawn(), (TIndexRange{20, 40}));

    // Shift+wheel and the tilt wheel pan by a tenth of the view.
    Wheel(x50, QPoint(0, 120), Qt::ShiftModifier);
    EXPECT_EQ(Drawn(), (TIndexRange{18, 38}));
    Wheel(x50, QPoint(-120, 0));
    EXPECT_EQ(Drawn(), (TIndexRange{20, 40}));

    struct KeyCase {
        int key;
        TIndexRange expected;
    } const keys[] = {
        {Qt::Key_Right, {22, 42}}, {Qt::Key_Left, {20, 40}},   {Qt::Key_Plus, {25, 35}},
        {Qt::Key_Minus, {19, 40}}, {Qt::Key_Escape, {0, 100}}, {Qt::Key_Left, {0, 100}},  // nothing before the run
    };
    for (const KeyCase& c : keys) {
        Key(c.key);
        EXPECT_EQ(Drawn(), c.expected) << c.key;
    }
    form->SetView({60, 70});
    Key(Qt::Key_Home);
    EXPECT_EQ(Drawn(), run);

    // Zoomed in as far as it goes, the view keeps two samples; a double click shows the run.
    for (int i = 0; i < 30; ++i) Wheel(x50, QPoint(0, 120));
    EXPECT_EQ(Drawn().Count(), kMinViewSamples);
    Mouse(QEvent::MouseButtonDblClick, x50, Qt::LeftButton);
    EXPECT_EQ(Drawn(), run);
    EXPECT_FALSE(form->Zoomed());
}

TEST_F(MonitoringAnalysisTest, ARunTabModeOrDataChangeShowsTheWholeRun) {
    TMeasureDataP data = MonitoringRun(kKindSvtMagnetic, EvenRun(20));
    auto& records = data(kMethodMonitoring, kKindSvtMagnetic).Records;
    for (int i = 0; i < 10; ++i) records.push_back(Record(kKindSvtMagnetic, Second(3600 + 10 * i), 50, 5));
    data(kMethodMonitoring, kKind50Hz).Records = MonitoringRun(kKind50Hz, EvenRun(10))(kMethodMonitoring, 0).Records;
    Show(data, kMethodMonitoring, kKindSvtMagnetic);

    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"run", [&] { form->MonComboBox->setCurrentIndex(1); }},
        {"tab", [&] { form->TabControl1->setCurrentIndex(kKind50Hz); }},
        {"mode",
         [&] {
             form->N1Click();
             form->N2Click();
         }},
        {"data", [&] { Show(data, kMethodMonitoring, kKindSvtMagnetic); }},
    };
    for (const auto& [name, change] : changes) {
        form->SetView({form->RunRange().First + 1, form->RunRange().First + 3});
        ASSERT_TRUE(form->Zoomed()) << name;
        change();
        EXPECT_FALSE(form->Zoomed()) << name;
        EXPECT_EQ(Drawn(), form->RunRange()) << name;
        EXPECT_GT(form->RunRange().Count(), 0) << name;
    }
    form->TabControl1->setCurrentIndex(kKindSvtMagnetic);
    form->MonComboBox->setCurrentIndex(1);
    EXPECT_EQ(Drawn(), (TIndexRange{20, 29}));
}

TEST_F(MonitoringAnalysisTest, TheStripShowsTheWholeRunAndTheRangeOnView) {
    // One absent value; the level of band 5 Hz - 2 kHz is 250 nT.
    ShowRun(kKindSvtMagnetic, {100, 200, 300, 250, -1, 260, 150, 240, 280, 50});
    ASSERT_FALSE(form->StatGrid->isHidden());
    ASSERT_EQ(form->StatGrid->rowCount(), 1);
    EXPECT_EQ(form->StatGrid->horizontalHeaderItem(1)->text(), "Поле");
    // The figures against the level and the maximum first, then the others.
    const std::vector<QString> whole = {
        "Весь сеанс", "H, нТл", "250.00", "4",     "0:00:40", "44.4",   "300.00",
        "10:00:20",   "9",      "1",      "50.00", "203.33",  "300.00", "17.03.2026 10:00:00",
        "10:01:30",   "0:00:10"};
    EXPECT_EQ(StatRow(0), whole);

    form->SetView({0, 3});
    ASSERT_EQ(form->StatGrid->rowCount(), 2);
    EXPECT_EQ(StatRow(0), whole);
    const std::vector<QString> part = {
        "Участок",  "H, нТл", "250.00", "2",      "0:00:20", "50.0",   "300.00",
        "10:00:20", "4",      "0",      "100.00", "212.50",  "300.00", "17.03.2026 10:00:00",
        "10:00:30", "0:00:10"};
    EXPECT_EQ(StatRow(1), part);

    // The strip holds its rows without a vertical scroll, and every heading whole.
    QTableWidget& strip = *form->StatGrid;
    EXPECT_LE(strip.rowViewportPosition(1) + strip.rowHeight(1), strip.viewport()->height());
    const QFontMetrics headingMetrics = strip.horizontalHeader()->fontMetrics();
    for (int col = 0; col < strip.columnCount(); ++col) {
        const QStringList lines = strip.horizontalHeaderItem(col)->text().split('\n');
        for (const QString& line : lines)
            EXPECT_GE(strip.columnWidth(col), headingMetrics.horizontalAdvance(line)) << col;
        EXPECT_GE(strip.horizontalHeader()->height(), static_cast<int>(lines.size()) * headingMetrics.height()) << col;
    }
    // Headings of several words take two lines, so that a column is no wider than its figures need.
    EXPECT_EQ(strip.horizontalHeaderItem(7)->text(), "Время\nмаксимума");
    EXPECT_EQ(strip.horizontalHeaderItem(4)->text(), "Время не\nниже уровня");

    // 50 Hz: a row per curve in each block.
    ShowRun(kKind50Hz, {100, 200, 300});
    form->SetView({1, 2});
    ASSERT_EQ(form->StatGrid->rowCount(), 4);
    EXPECT_EQ(StatRow(1)[1], "E, В/м");
    EXPECT_EQ(StatRow(2)[0], "Участок");
    EXPECT_EQ(form->StatGrid->item(2, 0)->toolTip(), "Участок 10:00:10 — 10:00:20");
    EXPECT_EQ(StatRow(3)[3], "0");  // 30 V/m stays below 500 V/m

    // No strip without a run, nor outside monitoring mode.
    Show(MonitoringRun(kKindSvtMagnetic, {}), kMethodMonitoring, kKindSvtMagnetic);
    EXPECT_TRUE(form->StatGrid->isHidden());
    form->N1Click();
    EXPECT_TRUE(form->StatGrid->isHidden() || !form->StatGrid->isVisibleTo(form.get()));
}

// In a window of the default size the level and the figures against it are in
// sight beside the graph without scrolling the strip: the demonstration run,
// and a zoomed 50 Hz run with its wider figures and two blocks of two curves.
TEST_F(MonitoringAnalysisTest, TheFiguresAgainstTheLevelAreInSightAtTheDefaultSize) {
    struct Case {
        const char* name;
        TMeasureDataP data;
        int kind;
        bool zoom;
    };
    std::vector<double> strong;
    for (int i = 0; i < 60; ++i) strong.push_back(4000 + 40 * i);  // crosses 5000 nT
    const Case cases[] = {
        {"demonstration run", DemoMeasurements(), kKindSvtMagnetic, false},
        {"zoomed 50 Hz run", MonitoringRun(kKind50Hz, strong), kKind50Hz, true},
    };
    const QStringList inSight = {"Уровень", "Не ниже уровня", "Время не ниже уровня", "Доля, %", "Максимум"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form->resize(965, 632);
        Show(c.data, kMethodMonitoring, c.kind);
        if (c.zoom) form->SetView({10, 40});
        QApplication::processEvents();
        ASSERT_EQ(form->size(), QSize(965, 632));
        QTableWidget& strip = *form->StatGrid;
        ASSERT_TRUE(strip.isVisible());
        // The strip itself lies inside the window.
        EXPECT_LE(strip.mapTo(form.get(), QPoint(strip.width(), strip.height())).x(), form->width());
        EXPECT_EQ(strip.horizontalScrollBar()->value(), 0);
        QStringList found;
        for (int col = 0; col < strip.columnCount(); ++col) {
            const QString heading = strip.horizontalHeaderItem(col)->text().replace('\n', ' ');
            if (!inSight.contains(heading)) continue;
            found << heading;
            EXPECT_GE(strip.columnViewportPosition(col), 0) << heading.toStdString();
            EXPECT_LE(strip.columnViewportPosition(col) + strip.columnWidth(col), strip.viewport()->width())
                << heading.toStdString() << " of " << strip.viewport()->width();
        }
        EXPECT_EQ(found, inSight);
        // Every column in sight shows its texts whole, the block titles that span two rows too.
        for (int col = 0; col < strip.columnCount(); ++col) {
            if (strip.columnViewportPosition(col) + strip.columnWidth(col) > strip.viewport()->width()) break;
            for (int row = 0; row < strip.rowCount(); ++row) {
                const QTableWidgetItem* item = strip.item(row, col);
                if (item == nullptr) continue;  // under a span
                EXPECT_GE(strip.columnWidth(col), strip.fontMetrics().horizontalAdvance(item->text()))
                    << item->text().toStdString();
            }
        }
    }
}

TEST_F(MonitoringAnalysisTest, TheReadOutSelectsTheRowOfTheSampleUnderThePointerInTheZoomedView) {
    ShowRun(kKindSvtMagnetic, EvenRun(101));
    form->SetView({20, 40});
    QApplication::setActiveWindow(form.get());
    const QPoint at(XOf(30), Middle());
    QCursor::setPos(Graph()->mapToGlobal(at));
    form->GraphReadout->GraphMouseMove(at.x(), at.y());
    form->GraphReadout->GraphTmrTimer();
    EXPECT_EQ(form->DataGrid->Row(), 30 + 2);
    // At the right end of the plot: the view's last sample, not the run's.
    form->GraphReadout->GraphMouseMove(XOf(40) + 5, at.y());
    form->GraphReadout->GraphTmrTimer();
    EXPECT_EQ(form->DataGrid->Row(), 40 + 2);
}

std::string Head(const std::string& path, std::size_t n) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::string bytes(n, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(n));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

TEST_F(MonitoringAnalysisTest, TheGraphIsSavedAsPngOrPdfByTheExtension) {
    ShowRun(kKindSvtMagnetic, EvenRun(30));
    form->SetView({5, 15});
    const TGraphSheet sheet = form->GraphSheet();
    EXPECT_EQ(sheet.Caption,
              "Сеанс 17.03.2026 10:00:00 · СВТ - Магнитное поле · Полоса: 5Гц - 2кГц · уровень 250.00 нТл");
    EXPECT_EQ(sheet.Graph.FirstIndex, 5);
    EXPECT_EQ(sheet.Graph.LastIndex, 15);
    ASSERT_EQ(sheet.Statistics.size(), 2u);
    EXPECT_EQ(sheet.Statistics[1].Title, "Участок 10:00:50 — 10:02:30");

    prompts->fileAnswers = {Data("graph.png"), Data("graph.PDF"), std::nullopt, Utf8FromPath(dir.path())};
    for (int i = 0; i < 4; ++i) form->SaveGraphBtn->click();
    EXPECT_EQ(Head(Data("graph.png"), 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(Head(Data("graph.PDF"), 5), "%PDF-");
    // The cancelled one wrote nothing; the directory is refused with a message.
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = Utf8FromPath(entry.path().filename());
        if (name.rfind("data.db", 0) != 0) written.push_back(name);
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"graph.PDF", "graph.png"}));
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Error);

    prompts->fileAnswers = {std::nullopt};
    form->GraphSaveAction->trigger();  // the context menu asks the same way
    EXPECT_TRUE(prompts->fileAnswers.empty());
    EXPECT_EQ(prompts->shown.back().text, "Сохранить график");
}

TEST_F(MonitoringAnalysisTest, PrintingPreviewsTheSheetOfTheViewAndPrintsIt) {
    ShowRun(kKindSvtMagnetic, EvenRun(30));
    form->SetView({5, 15});
    const std::string pdf = Data("printed.pdf");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (preview == nullptr || preview->objectName() != "GraphPrintPreview") {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            return;
        }
        seen = true;
        // "Print to file" from the preview: what is printed is the sheet painted for the preview.
        preview->printer()->setOutputFormat(QPrinter::PdfFormat);
        preview->printer()->setOutputFileName(QString::fromStdString(pdf));
        emit preview->paintRequested(preview->printer());
        preview->reject();
    });
    form->PrintGraphBtn->click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(prompts->Messages().empty());
    EXPECT_EQ(Head(pdf, 5), "%PDF-");
    // The preview leaves the zoom as it was.
    EXPECT_EQ(form->View(), (TIndexRange{5, 15}));
}

TEST_F(MonitoringAnalysisTest, ButtonsAndMenuItemsFollowTheRunAndTheZoom) {
    const auto states = [&] {
        return std::vector<bool>{form->ResetZoomBtn->isEnabled(),    form->SaveGraphBtn->isEnabled(),
                                 form->PrintGraphBtn->isEnabled(),   form->GraphResetAction->isEnabled(),
                                 form->GraphSaveAction->isEnabled(), form->GraphPrintAction->isEnabled()};
    };
    Show(MonitoringRun(kKindSvtMagnetic, {}), kMethodMonitoring, kKindSvtMagnetic);
    EXPECT_EQ(states(), std::vector<bool>(6, false));
    ShowRun(kKindSvtMagnetic, EvenRun(10));
    EXPECT_EQ(states(), (std::vector<bool>{false, true, true, false, true, true}));
    form->SetView({2, 5});
    EXPECT_EQ(states(), std::vector<bool>(6, true));
    form->ResetZoomBtn->click();
    EXPECT_FALSE(form->Zoomed());
    EXPECT_FALSE(form->ResetZoomBtn->isEnabled());
}

}  // namespace
}  // namespace test
}  // namespace zorvex
