// The monitoring graph of the main window: drawing, zoom and pan, the
// statistics strip and saving or printing the graph.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRubberBand>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>

#include "base/DateTime.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "base/SaveLocation.h"
#include "model/MonitoringRuns.h"
#include "model/RunStatistics.h"
#include "ui/HandlerGuard.h"
#include "ui/graph/GraphSheet.h"
#include "ui/graph/MonitoringGraph.h"
#include "ui/main/Mainform.h"
#include "ui/main/SaveNames.h"

namespace zorvex {

namespace {

const char* const kGraphFileFilter = "Рисунок PNG (*.png);;Документ PDF (*.pdf)";
// One wheel notch shows this share of the samples.
constexpr double kWheelZoom = 0.8;
constexpr double kKeyZoom = 0.5;
const char* const kWholeRunTitle = "Весь сеанс";
const char* const kRangeTitle = "Участок";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A heading of several words on two lines, broken at the space nearest its
// middle: the strip's columns are then as narrow as their figures, and all of
// them fit beside the graph more often.
QString TwoLineHeading(const std::string& heading) {
    QString text = Q(heading);
    int best = -1;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' && (best < 0 || std::abs(i - text.size() / 2) < std::abs(best - text.size() / 2))) best = i;
    }
    if (best > 0) text[best] = '\n';
    return text;
}

// The strip's columns: the figures against the level first, then the maximum
// they are judged by, so that all of them stay in sight beside the graph of a
// window of the default size; the others follow, in the order of the files.
constexpr TStatisticsColumn kStripColumns[] = {kStatField,  kStatLevel,   kStatAtOrAbove,   kStatTimeAtOrAbove,
                                               kStatShare,  kStatMaximum, kStatMaximumTime, kStatSamples,
                                               kStatAbsent, kStatMinimum, kStatMean,        kStatPercentile95,
                                               kStatStart,  kStatEnd,     kStatInterval};
static_assert(std::size(kStripColumns) == kStatColumnCount);

}  // namespace

// ---- building -------------------------------------------------------------------

void TMainform::BuildGraphTools(QVBoxLayout* layout) {
    Graph->setFocusPolicy(Qt::StrongFocus);
    Graph->setToolTip(
        "Колесо, «+», «−» — масштаб; протяжка — участок\n"
        "Shift+протяжка, стрелки — сдвиг; двойной щелчок, Esc — весь сеанс");
    GraphRubberBand = new QRubberBand(QRubberBand::Rectangle, Graph);
    GraphRubberBand->setObjectName("GraphRubberBand");

    StatGrid = new QTableWidget(GroupBox2);
    StatGrid->setObjectName("StatGrid");
    StatGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StatGrid->setSelectionMode(QAbstractItemView::NoSelection);
    StatGrid->setFocusPolicy(Qt::NoFocus);
    StatGrid->setWordWrap(false);
    StatGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StatGrid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    StatGrid->verticalHeader()->hide();
    StatGrid->verticalHeader()->setDefaultSectionSize(StatGrid->fontMetrics().height() + 6);
    StatGrid->horizontalHeader()->setHighlightSections(false);
    StatGrid->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    StatGrid->hide();
    layout->addWidget(StatGrid);

    auto* buttons = new QHBoxLayout;
    ResetZoomBtn = new QPushButton("Весь сеанс", GroupBox2);
    ResetZoomBtn->setObjectName("ResetZoomBtn");
    SaveGraphBtn = new QPushButton("Сохранить график…", GroupBox2);
    SaveGraphBtn->setObjectName("SaveGraphBtn");
    PrintGraphBtn = new QPushButton("Печать графика…", GroupBox2);
    PrintGraphBtn->setObjectName("PrintGraphBtn");
    buttons->addWidget(ResetZoomBtn);
    buttons->addStretch(1);
    buttons->addWidget(SaveGraphBtn);
    buttons->addWidget(PrintGraphBtn);
    layout->addLayout(buttons);

    GraphMenu = new QMenu(Graph);
    GraphMenu->setObjectName("GraphMenu");
    GraphResetAction = GraphMenu->addAction("Весь сеанс");
    GraphResetAction->setObjectName("GraphResetAction");
    GraphMenu->addSeparator();
    GraphSaveAction = GraphMenu->addAction("Сохранить график…");
    GraphSaveAction->setObjectName("GraphSaveAction");
    GraphPrintAction = GraphMenu->addAction("Печать графика…");
    GraphPrintAction->setObjectName("GraphPrintAction");

    const auto wire = [this](auto* sender, auto signal, void (TMainform::*handler)()) {
        connect(sender, signal, this, [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
    };
    wire(ResetZoomBtn, &QPushButton::clicked, &TMainform::ResetZoomBtnClick);
    wire(SaveGraphBtn, &QPushButton::clicked, &TMainform::SaveGraphBtnClick);
    wire(PrintGraphBtn, &QPushButton::clicked, &TMainform::PrintGraphBtnClick);
    wire(GraphResetAction, &QAction::triggered, &TMainform::ResetZoomBtnClick);
    wire(GraphSaveAction, &QAction::triggered, &TMainform::SaveGraphBtnClick);
    wire(GraphPrintAction, &QAction::triggered, &TMainform::PrintGraphBtnClick);
    FillStatGrid();
}

// ---- the view -------------------------------------------------------------------

TIndexRange TMainform::RunRange() const {
    if (Mode_ != kMethodMonitoring || ShownCount_ <= 0) return {};
    return {FirstIndex_, LastIndex_};
}

TIndexRange TMainform::View() const {
    const TIndexRange run = RunRange();
    return run.Count() > 0 ? ClampView(view_, run) : run;
}

bool TMainform::Zoomed() const {
    return View() != RunRange();
}

void TMainform::SetView(TIndexRange view) {
    const TIndexRange run = RunRange();
    if (run.Count() < kMinViewSamples) return;
    view = ClampView(view, run);
    if (view == View()) return;
    view_ = view;
    FillStatGrid();
    DrawGraph();
}

void TMainform::ResetZoomBtnClick() {
    SetView(RunRange());
}

TPlotSpan TMainform::GraphPlotSpan() const {
    return {graphAxisX_, Graph->contentsRect().width() - graphAxisX_ - kGraphRightMargin};
}

// ---- drawing --------------------------------------------------------------------

TGraphInput TMainform::GraphInput() const {
    TGraphInput input;
    input.Records = &matrix_(Mode_, Kind_).Records;
    input.Kind = Kind_;
    const TIndexRange view = View();
    input.FirstIndex = view.Count() > 0 ? view.First : 0;
    input.LastIndex = view.Count() > 0 ? view.Last : -1;
    const int band = std::clamp(CurrentBand_, 0, 2);
    for (int s = 0; s < 2; ++s) {
        // A negative limit is no level: no limit line, nothing in the warning colour.
        const double limit = LimitTable_[Kind_][band][s];
        input.Limits[s] = limit < 0 ? std::numeric_limits<double>::infinity() : limit;
    }
    return input;
}

void TMainform::DrawGraph() {
    if (Mode_ != kMethodMonitoring) return;
    const QSize size = Graph->contentsRect().size();
    QImage picture;
    graphAxisX_ = zorvex::DrawGraph(picture, std::max(size.width(), 0), std::max(size.height(), 0), GraphInput());
    Graph->setPixmap(QPixmap::fromImage(picture));
}

// ---- pointer and keys -----------------------------------------------------------

bool TMainform::GraphEvent(QEvent* event) {
    const TIndexRange run = RunRange();
    const bool zoomable = run.Count() >= kMinViewSamples;
    const TPlotSpan plot = GraphPlotSpan();
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!zoomable) return false;
            const bool pan = mouse->button() == Qt::MiddleButton ||
                             (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ShiftModifier));
            if (!pan && mouse->button() != Qt::LeftButton) return false;
            Graph->setFocus(Qt::MouseFocusReason);
            graphDrag_ = pan ? GraphDrag::Pan : GraphDrag::Select;
            dragStartX_ = mouse->position().toPoint().x();
            dragStartView_ = View();
            if (pan) Graph->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        case QEvent::MouseMove: {
            const int x = static_cast<QMouseEvent*>(event)->position().toPoint().x();
            if (graphDrag_ == GraphDrag::Pan) {
                // The samples follow the pointer.
                RunHandler([&] {
                    SetView(PanView(dragStartView_, run, -SamplesOfPixels(dragStartView_, plot, x - dragStartX_)));
                });
            } else if (graphDrag_ == GraphDrag::Select) {
                if (std::abs(x - dragStartX_) >= kClickPixels) {
                    GraphRubberBand->setGeometry(QRect(QPoint(std::min(x, dragStartX_), 0),
                                                       QPoint(std::max(x, dragStartX_), Graph->height() - 1)));
                    GraphRubberBand->show();
                } else {
                    GraphRubberBand->hide();
                }
            }
            return false;  // the read-out follows the pointer as well
        }
        case QEvent::MouseButtonRelease: {
            if (graphDrag_ == GraphDrag::None) return false;
            const GraphDrag drag = graphDrag_;
            graphDrag_ = GraphDrag::None;
            GraphRubberBand->hide();
            Graph->setCursor(Qt::PointingHandCursor);
            const int x = static_cast<QMouseEvent*>(event)->position().toPoint().x();
            if (drag == GraphDrag::Select) {
                RunHandler([&] { SetView(DragView(dragStartView_, run, plot, dragStartX_, x)); });
            }
            return true;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
            RunHandler([this] { ResetZoomBtnClick(); });
            return true;
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            if (!zoomable) return false;
            const QPoint delta = wheel->angleDelta();
            const double notches = (delta.y() != 0 ? delta.y() : delta.x()) / 120.0;
            if (notches == 0) return true;
            const bool pan = delta.y() == 0 || (wheel->modifiers() & Qt::ShiftModifier);
            const TIndexRange view = View();
            RunHandler([&] {
                if (pan) {
                    // Turning away from the user (up, or left on a tilt wheel) goes back in time.
                    const int steps = static_cast<int>(std::lround(notches)) != 0
                                          ? static_cast<int>(std::lround(notches))
                                          : (notches > 0 ? 1 : -1);
                    SetView(PanView(view, run, -steps * PanStep(view)));
                } else {
                    const int anchor = IndexAtX(view, plot, wheel->position().toPoint().x());
                    SetView(ZoomView(view, run, anchor, std::pow(kWheelZoom, notches)));
                }
            });
            return true;
        }
        case QEvent::KeyPress:
            return zoomable && GraphKeyPress(*static_cast<QKeyEvent*>(event));
        case QEvent::ContextMenu:
            if (Mode_ != kMethodMonitoring) return false;
            GraphMenu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        default:
            return false;
    }
}

bool TMainform::GraphKeyPress(const QKeyEvent& key) {
    const TIndexRange run = RunRange();
    const TIndexRange view = View();
    const int middle = view.First + (view.Count() - 1) / 2;
    TIndexRange next = view;
    switch (key.key()) {
        case Qt::Key_Left:
            next = PanView(view, run, -PanStep(view));
            break;
        case Qt::Key_Right:
            next = PanView(view, run, PanStep(view));
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            next = ZoomView(view, run, middle, kKeyZoom);
            break;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            next = ZoomView(view, run, middle, 1 / kKeyZoom);
            break;
        case Qt::Key_Home:
        case Qt::Key_Escape:
            next = run;
            break;
        default:
            return false;
    }
    RunHandler([&] { SetView(next); });
    return true;
}

// ---- statistics -----------------------------------------------------------------

std::vector<TGraphSheet::Block> TMainform::StatisticsBlocks() const {
    const TIndexRange run = RunRange();
    if (run.Count() <= 0) return {};
    const auto& records = matrix_(Mode_, Kind_).Records;
    // Every part of a run counts time at the pace of the whole run.
    const std::int64_t interval = RunIntervalMs(records, run.First, run.Last);
    std::optional<double> levels[2];
    for (const int curve : CurvesOfKind(Kind_)) levels[curve] = LevelOf(LimitTable_, Kind_, CurrentBand_, curve);
    std::vector<TGraphSheet::Block> blocks;
    blocks.push_back({kWholeRunTitle, ComputeKindStatistics(records, run.First, run.Last, Kind_, levels, interval)});
    if (Zoomed()) {
        const TIndexRange view = View();
        const double start = records[view.First].time;
        const double end = records[view.Last].time;
        // The day is named only when the range leaves the run's first day.
        const auto when = [&](double t) {
            return DateToStr(t) == DateToStr(records[run.First].time) ? TimeToStr(t)
                                                                      : DateToStr(t) + " " + TimeToStr(t);
        };
        blocks.push_back({QString(kRangeTitle) + " " + Q(when(start)) + " — " + Q(when(end)),
                          ComputeKindStatistics(records, view.First, view.Last, Kind_, levels, interval)});
    }
    return blocks;
}

void TMainform::FillStatGrid() {
    const bool hasRun = RunRange().Count() > 0;
    const bool zoomed = hasRun && Zoomed();
    ResetZoomBtn->setEnabled(zoomed);
    GraphResetAction->setEnabled(zoomed);
    for (QPushButton* button : {SaveGraphBtn, PrintGraphBtn}) button->setEnabled(hasRun);
    for (QAction* action : {GraphSaveAction, GraphPrintAction}) action->setEnabled(hasRun);
    StatGrid->setVisible(hasRun);
    StatGrid->clearSpans();
    if (!hasRun) {
        StatGrid->setRowCount(0);
        return;
    }
    const std::vector<std::string>& headings = StatisticsHeadings();
    QStringList labels{""};
    for (const TStatisticsColumn column : kStripColumns) labels << TwoLineHeading(headings[column]);
    StatGrid->setColumnCount(labels.size());
    StatGrid->setHorizontalHeaderLabels(labels);

    const std::vector<TGraphSheet::Block> blocks = StatisticsBlocks();
    int rows = 0;
    for (const TGraphSheet::Block& block : blocks) rows += static_cast<int>(block.Rows.size());
    StatGrid->setRowCount(rows);
    const auto put = [this](int row, int col, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled);
        StatGrid->setItem(row, col, item);
    };
    int row = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const TGraphSheet::Block& block = blocks[b];
        // The range's times are in the columns beside; the caption stays short.
        put(row, 0, b == 0 ? kWholeRunTitle : kRangeTitle);
        StatGrid->item(row, 0)->setToolTip(block.Title);
        if (block.Rows.size() > 1) StatGrid->setSpan(row, 0, static_cast<int>(block.Rows.size()), 1);
        for (const TRunStatistics& statistics : block.Rows) {
            const std::vector<std::string> cells = StatisticsCells(statistics);
            for (std::size_t c = 0; c < std::size(kStripColumns); ++c)
                put(row, static_cast<int>(c) + 1, Q(cells[kStripColumns[c]]));
            ++row;
        }
    }
    StatGrid->resizeColumnsToContents();
    // Sizing to the contents passes over cells that span rows: the block titles
    // of a two-curve run would be cut to a letter.
    int titleWidth = StatGrid->columnWidth(0);
    for (int r = 0; r < rows; ++r)
        titleWidth = std::max(titleWidth, StatGrid->sizeHintForIndex(StatGrid->model()->index(r, 0)).width() + 1);
    StatGrid->setColumnWidth(0, titleWidth);
    // All rows in sight; room for the horizontal scroll bar that a narrow window needs.
    const int height = 2 * StatGrid->frameWidth() + StatGrid->horizontalHeader()->sizeHint().height() +
                       rows * StatGrid->verticalHeader()->defaultSectionSize() +
                       StatGrid->horizontalScrollBar()->sizeHint().height();
    StatGrid->setFixedHeight(height);
}

// ---- saving and printing --------------------------------------------------------

TGraphSheet TMainform::GraphSheet() const {
    TGraphSheet sheet;
    QStringList caption{"Сеанс " + MonComboBox->currentText(), KindCaption(Kind_)};
    if (Kind_ >= 1) caption << BandCaption();
    QStringList levels;
    const std::vector<int> curves = CurvesOfKind(Kind_);
    for (const int curve : curves) {
        const auto level = LevelOf(LimitTable_, Kind_, CurrentBand_, curve);
        if (!level) continue;
        const QString letter = curves.size() > 1 ? (curve == 0 ? "H " : "E ") : "";
        levels << letter + Q(FormatFixed(*level, 2) + " " + CurveUnit(curve));
    }
    if (!levels.isEmpty()) caption << "уровень " + levels.join(", ");
    sheet.Caption = caption.join(kCaptionSeparator);
    sheet.Graph = GraphInput();
    sheet.Statistics = StatisticsBlocks();
    return sheet;
}

void TMainform::SaveGraphBtnClick() {
    if (RunRange().Count() <= 0) return;
    const TDateTime runStart = matrix_(Mode_, Kind_).Records[static_cast<std::size_t>(RunRange().First)].time;
    const auto fileName = AskSaveFileName("Сохранить график", kGraphFileFilter, "png", GraphFileName(Kind_, runStart));
    if (!fileName) return;
    std::string extension = Utf8FromPath(PathFromUtf8(*fileName).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const TGraphSheet sheet = GraphSheet();
    if (extension == ".pdf") {
        SaveGraphSheetPdf(sheet, *fileName);
    } else {
        SaveGraphSheetPng(sheet, *fileName);
    }
}

void TMainform::PrintGraphBtnClick() {
    if (RunRange().Count() <= 0) return;
    ShowGraphSheetPreview(GraphSheet(), this);
}

}  // namespace zorvex
