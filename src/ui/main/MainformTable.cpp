// The measurement table and the permissible-level row of the main window.
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QSignalBlocker>
#include <QTabBar>
#include <cmath>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "base/Prompts.h"
#include "storage/MeasurementEdits.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"
#include "ui/graph/MonitoringGraph.h"
#include "ui/graph/MonitoringRuns.h"
#include "ui/grid/StringGrid.h"
#include "ui/main/Mainform.h"

namespace zorvex {

namespace {

const char* const kBaseTabCaptions[kKindCount] = {"50Гц", "СВТ - Магнитное поле", "СВТ - Электрическое поле",
                                                  "Магнитное поле", "Электрическое поле"};

// Rows of LimGrid: single mode by kind, monitoring for every kind.
constexpr std::array<int, kKindCount> kLimRowsSingle = {3, 4, 4, 3, 3};
constexpr int kLimRowsMonitoring = 3;

// Quantity of value slots 0 and 1 by kind.
constexpr TMeasureSubfield kSlotSubfields[kKindCount][2] = {
    {msfMFLB, msfEFLB}, {msfMFLB, msfNone}, {msfEFLB, msfNone}, {msfMFLB, msfNone}, {msfEFLB, msfNone}};

// Colour index of a marked value by kind (0..2), band code and slot; -1: never marked.
constexpr int kExceedanceIndex[3][3][2] = {
    // 50 Hz levels do not depend on the band, so band code 2 takes the colours of the others.
    {{0, 1}, {0, 1}, {0, 1}},
    // No level exists for band code 2 of the computer-workplace kinds.
    {{0, 1}, {2, 3}, {-1, -1}},
    {{0, 1}, {2, 3}, {-1, -1}},
};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Fixed2(double value) {
    return Q(FormatFixed(value, 2));
}

// A permissible level as the level row shows it; a negative limit is no level.
QString LimitText(double limit) {
    return limit < 0 ? QString() : Fixed2(limit);
}

}  // namespace

const char* KindCaption(int kind) {
    return kBaseTabCaptions[std::clamp(kind, 0, kKindCount - 1)];
}

const char* BandText(int band) {
    switch (band) {
        case kBandLow:
            return "5Гц - 2кГц";
        case kBandHigh:
            return "2кГц - 400кГц";
        default:
            return "10кГц - 30кГц";
    }
}

// ---- layout -------------------------------------------------------------------

void TMainform::SetupDataGrid() {
    HideHeightCombo();
    Kind_ = std::clamp(TabControl1->currentIndex(), 0, kKindCount - 1);
    ValueColumnCount_ = kValueColumnsPerKind[Kind_];
    for (int row = 0; row <= 2; ++row) DataGrid->ClearRow(row);

    if (Mode_ == kMethodSingle) {
        FirstValueColumn_ = 5;
        DataGrid->SetColCount(5 + kExtraSingleColumns[Kind_]);
        DataGrid->SetCell(0, 0, "Ячейка");
        DataGrid->SetCell(1, 0, "Рабочее");
        DataGrid->SetCell(1, 1, "место");
        DataGrid->SetCell(2, 0, "Уровень");
        DataGrid->SetCell(2, 1, "по высоте");
        DataGrid->SetCell(3, 0, "Дата");
        DataGrid->SetCell(4, 0, "Время");
        DataGrid->SetCell(5, 0, "Значение");
        const QFontMetrics metrics = DataGrid->fontMetrics();
        const char* const samples[5] = {"Ячейка___", "Рабочее___", "по высоте__", "99.99.9999___", "99:99:99___"};
        for (int col = 0; col < 5; ++col) DataGrid->SetColWidth(col, metrics.horizontalAdvance(samples[col]));
    } else {
        FirstValueColumn_ = 0;
        DataGrid->SetColCount(ValueColumnCount_);
        FillSeriesList();
    }
    if (Mode_ == kMethodSingle && Kind_ >= 1) DataGrid->SetCell(FirstValueColumn_ + 1, 0, "Полоса");
    if (Mode_ == kMethodSingle && (Kind_ == 1 || Kind_ == 2)) DataGrid->SetCell(FirstValueColumn_ + 2, 0, "Режекция");
    for (int col = FirstValueColumn_; col < FirstValueColumn_ + ValueColumnCount_; ++col) {
        DataGrid->SetColWidth(col, TStringGrid::kDefaultColWidth);
    }
    int row = 0;
    FillValueHeaders(*DataGrid, true, row, true);
    // A value title keeps its full text when the desktop font is wider than
    // the one the widths were chosen for.
    for (int col = FirstValueColumn_; col < FirstValueColumn_ + ValueColumnCount_; ++col) {
        const int needed = DataGrid->fontMetrics().horizontalAdvance(DataGrid->Cell(col, 0)) + 8;
        if (DataGrid->ColWidth(col) < needed) DataGrid->SetColWidth(col, needed);
    }

    Assert(ValueColumnCount_ <= 4, "uMain");
    ColumnSubfields_.assign(DataGrid->ColCount(), msfNone);
    for (int slot = 0; slot < ValueColumnCount_; ++slot) {
        if (FirstValueColumn_ + slot < DataGrid->ColCount()) {
            ColumnSubfields_[FirstValueColumn_ + slot] = kSlotSubfields[Kind_][slot];
        }
    }

    UpdateShownRange();

    if (Kind_ >= 3) {
        LimPnl->hide();
    } else {
        const int rows = Mode_ == kMethodSingle ? kLimRowsSingle[Kind_] : kLimRowsMonitoring;
        LimGrid->SetColCount(DataGrid->ColCount());
        LimGrid->SetRowCount(rows);
        // Titles and units are the fixed rows; the level rows below them are
        // data rows, where a band caption can span the empty columns.
        LimGrid->SetFixedRows(2);
        LimGrid->SetDefaultRowHeight(DataGrid->DefaultRowHeight());
        LimGrid->ClearCells();
        for (int col = 0; col < DataGrid->ColCount(); ++col) LimGrid->SetColWidth(col, DataGrid->ColWidth(col));
        int limRow = 0;
        FillValueHeaders(*LimGrid, true, limRow, false);
        LimGrid->setFixedHeight(LimGrid->FullHeight());
        LimPnl->show();
    }
    if (Mode_ == kMethodMonitoring && Kind_ >= 1) BandLabel->setText("Полоса: ");
    BandLabel->setVisible(Mode_ == kMethodMonitoring && Kind_ >= 1);

    // legend of the graph
    const TGraphLegend legend = GraphLegend(Kind_);
    for (int j = 0; j < 4; ++j) {
        LegendLabels[j]->setText(legend.Texts[j]);
        Shapes[j]->setVisible(!legend.Texts[j].isEmpty());
    }
    Shapes[0]->setStyleSheet(
        QString("background:%1; border:1px solid white; border-radius:3px;").arg(legend.FirstSwatch.name()));

    FillDataGrid();
}

void TMainform::FillValueHeaders(TStringGrid& grid, bool titleRow, int& row, bool bandTitles) {
    const int f = FirstValueColumn_;
    const bool magnetic = Kind_ == 1 || Kind_ == 3;
    const char* unit = magnetic ? "нТл" : "В/м";
    switch (Kind_) {
        case 0:
            if (titleRow) {
                grid.SetCell(f, row, "Магнитное поле");
                grid.SetCell(f + 1, row, "Электрическое поле");
                ++row;
            }
            grid.SetCell(f, row, "нТл");
            grid.SetCell(f + 1, row, "В/м");
            ++row;
            break;
        case 1:
        case 2: {
            grid.SetColWidth(f, 192);
            const char* title = Kind_ == 1 ? "Магнитное поле" : "Электрическое поле";
            if (Mode_ == kMethodSingle) {
                if (titleRow) {
                    grid.SetCell(f, row, title);
                    if (bandTitles) {
                        grid.SetCell(f + 1, row, "Полоса");
                        grid.SetCell(f + 2, row, "Режекция");
                    }
                    ++row;
                }
                grid.SetCell(f, row, unit);
                grid.SetCell(f + 1, row, "");
                grid.SetCell(f + 2, row, "");
                ++row;
            } else {
                if (titleRow) {
                    grid.SetCell(f, row, title);
                    ++row;
                }
                grid.SetCell(f, row, unit);
                ++row;
            }
            break;
        }
        default:
            if (titleRow) {
                grid.SetCell(f, row, "Значение");
                ++row;
            }
            grid.SetColWidth(f, 192);
            grid.SetCell(f, row, unit);
            break;
    }
}

void TMainform::UpdateShownRange() {
    if (Mode_ == kMethodSingle) {
        FirstIndex_ = 0;
        LastIndex_ = static_cast<int>(matrix_(Mode_, Kind_).Records.size()) - 1;
    } else if (RunRangeOf(*MonComboBox, MonComboBox->currentIndex(), FirstIndex_, LastIndex_)) {
        // the chosen run
    } else {
        FirstIndex_ = 0;
        LastIndex_ = -1;
    }
    ShownCount_ = LastIndex_ - FirstIndex_ + 1;
    // A new range on view is shown whole.
    view_ = {FirstIndex_, LastIndex_};
}

// ---- contents -----------------------------------------------------------------

void TMainform::FillDataGrid() {
    for (int kind = 0; kind < kKindCount; ++kind) {
        const std::size_t n = matrix_(Mode_, kind).Records.size();
        QString caption = kBaseTabCaptions[kind];
        if (n >= 1) caption += QString(" (%1)").arg(n);
        TabControl1->setTabText(kind, caption);
    }
    const auto& list = matrix_(Mode_, Kind_).Records;
    if (ShownCount_ > 0) {
        Assert(FirstIndex_ >= 0 && LastIndex_ < static_cast<int>(list.size()), "uMain");
    }
    HideHeightCombo();
    DataGrid->ClearDataCells();
    filledMode_ = Mode_;
    filledKind_ = Kind_;
    filledFirst_ = FirstIndex_;
    filledCount_ = std::max(ShownCount_, 0);
    if (ShownCount_ <= 0) {
        DataGrid->SetRowCount(3);
        DataGrid->SetCellProvider({});
    } else {
        DataGrid->SetRowCount(ShownCount_ + 2);
        // A monitoring list can hold runs in different bands (a year loaded
        // from the history): the run on view gives its own band.
        CurrentBand_ = list[Mode_ == kMethodMonitoring ? FirstIndex_ : 0].band;
        DataGrid->SetCellProvider([this](int col, int row) { return DataCellText(col, row); });
    }
    DataGrid->SetFixedRows(2);

    if (Mode_ == kMethodMonitoring && Kind_ >= 1 && ShownCount_ > 0) BandLabel->setText(BandCaption());
    FillLimGrid();
    FillStatGrid();
    if (Mode_ == kMethodMonitoring) DrawGraph();
}

QString TMainform::BandCaption() const {
    if (ShownCount_ <= 0) return "Полоса: ";
    QString caption = QString("Полоса: ") + BandText(CurrentBand_);
    const auto& list = matrix_(Mode_, Kind_).Records;
    if ((Kind_ == 1 || Kind_ == 2) && list[FirstIndex_].rejection != 0) caption += " (режекция)";
    return caption;
}

QString TMainform::DataCellText(int col, int row) const {
    const auto& list = matrix_(filledMode_, filledKind_).Records;
    const int offset = row - 2;
    const long index = static_cast<long>(filledFirst_) + offset;
    if (offset < 0 || offset >= filledCount_ || index < 0 || index >= static_cast<long>(list.size())) return {};
    const TMeasureRecord& r = list[static_cast<std::size_t>(index)];
    const bool single = filledMode_ == kMethodSingle;
    const int f = single ? 5 : 0;
    if (single) {
        switch (col) {
            case 0:
                return QString::number(r.number);
            case 1:
                return QString::number(r.workplace);
            case 2:
                return Q(FormatFixed(r.height / 2.0, 1));
            case 3:
                return Q(DateToStr(r.time));
            case 4:
                return Q(TimeToStr(r.time));
            default:
                break;
        }
    }
    switch (r.kind) {
        case 0:
            if (col == f) return r.mvalue >= 0 ? Fixed2(r.mvalue) : QString();
            if (col == f + 1) return r.evalue >= 0 ? Fixed2(r.evalue) : QString();
            break;
        case 1:
        case 2:
            if (col == f) return Fixed2(r.kind == 1 ? r.mvalue : r.evalue);
            if (single && col == f + 1) return BandText(r.band);
            if (single && col == f + 2) return r.rejection != 0 ? QString("50Гц") : QString();
            break;
        case 3:
        case 4:
            if (col == f) return Fixed2(r.kind == 3 ? r.mvalue : r.evalue);
            if (single && col == f + 1) return BandText(r.band);
            break;
        default:
            break;
    }
    return {};
}

long TMainform::BoundRecordIndex(int row) const {
    if (filledMode_ != kMethodSingle || Mode_ != kMethodSingle) return -1;
    const auto& list = matrix_(filledMode_, filledKind_).Records;
    const int offset = row - 2;
    const long index = static_cast<long>(filledFirst_) + offset;
    if (offset < 0 || offset >= filledCount_ || index < 0 || index >= static_cast<long>(list.size())) return -1;
    return index;
}

TMeasureRecord* TMainform::RecordOfRow(int row) {
    const long index = BoundRecordIndex(row);
    return index < 0 ? nullptr : &matrix_(filledMode_, filledKind_).Records[static_cast<std::size_t>(index)];
}

void TMainform::FillLimGrid() {
    const int f = FirstValueColumn_;
    const bool twoBand = Mode_ == kMethodSingle && Kind_ >= 1;
    const int valueRow = LimGrid->RowCount() - (twoBand ? 2 : 1);
    const int last = std::min(f + kValueColumnsPerKind[Kind_] - 1, LimGrid->ColCount() - 1);
    LimGrid->ClearSpans();
    if (twoBand && f >= 1) {
        // A band caption is wider than its column: it is drawn across all the
        // empty columns before its value, with no grid line through it.
        for (int row = valueRow; row <= valueRow + 1; ++row) LimGrid->SetSpan(0, row, f);
    }
    for (int c = f; c <= last; ++c) {
        const int s = c - f;
        if (twoBand) {
            LimGrid->SetCell(c - 1, valueRow, "Полоса 5Гц - 2кГц:");
            LimGrid->SetCell(c, valueRow, LimitText(LimitTable_[Kind_][0][s]));
            LimGrid->SetCell(c - 1, valueRow + 1, "Полоса 2кГц - 400кгЦ:");
            LimGrid->SetCell(c, valueRow + 1, LimitText(LimitTable_[Kind_][1][s]));
        } else {
            LimGrid->SetCell(c, valueRow, LimitText(LimitTable_[Kind_][std::clamp(CurrentBand_, 0, 2)][s]));
        }
    }
}

void TMainform::ApplyLevels() {
    LimitTable_ = LimitTableOf(Levels_);
    FillLimGrid();
    FillDataGrid();
}

void TMainform::SetLevel(int index, double value) {
    zorvex::SetLevel(MainDatabase(), Levels_, index, value);
}

// ---- drawing ------------------------------------------------------------------

QColor TMainform::ExceedanceColor(int kind, int band, int slot) {
    if (kind < 0 || kind > 2 || band < 0 || band > 2 || slot < 0 || slot > 1) return {};
    const int index = kExceedanceIndex[kind][band][slot];
    if (index < 0) return {};
    const QColor curve = kCurveColours[index];
    return QColor(255, curve.green() >> 1, curve.blue() >> 1);
}

QColor TMainform::MarkedCellColour(int col, int row) const {
    if (filledMode_ != kMethodSingle || row < 2 || (col != 5 && col != 6)) return {};
    if (Kind_ >= 3 || col >= static_cast<int>(ColumnSubfields_.size()) || ColumnSubfields_[col] == msfNone) {
        return {};
    }
    const long index = BoundRecordIndex(row);
    if (index < 0) return {};
    // A list of single measurements mixes the bands: each value is compared
    // with the level of its own record's band (kind 0 has one level for all).
    const int band =
        std::clamp<int>(matrix_(filledMode_, filledKind_).Records[static_cast<std::size_t>(index)].band, 0, 2);
    const int slot = col - 5;
    const double limit = LimitTable_[Kind_][band][slot];
    const QColor colour = ExceedanceColor(Kind_, band, col - FirstValueColumn_);
    // A negative limit is no level (band code 2 of the workplace kinds, or a level saved as -1).
    if (limit < 0 || !colour.isValid()) return {};
    const auto value = TryStrToFloat(DataGrid->Cell(col, row).toStdString());
    return value.has_value() && *value >= limit ? colour : QColor();
}

bool TMainform::IsMarkedCell(int col, int row) const {
    return MarkedCellColour(col, row).isValid();
}

void TMainform::DataGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect, const TGridDrawState& state) {
    if (state.fixed) return;
    if (Mode_ == kMethodSingle && (col == 1 || col == 2) && row >= 2) {
        canvas.fillRect(rect, QColor(204, 255, 204));
        canvas.setPen(palette().color(QPalette::Text));
        canvas.drawText(rect.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                        DataGrid->Cell(col, row));
        return;
    }
    const QColor mark = MarkedCellColour(col, row);
    if (!mark.isValid()) return;
    QColor background = Qt::white;
    if (state.selected) {
        const QColor h = palette().color(QPalette::Highlight);
        background = QColor((h.red() + 765) / 4, (h.green() + 765) / 4, (h.blue() + 765) / 4);
    }
    canvas.fillRect(rect, background);
    canvas.setPen(mark);
    canvas.drawText(rect.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    DataGrid->Cell(col, row));
}

void TMainform::LimGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect, const TGridDrawState& state) {
    canvas.fillRect(rect.adjusted(0, 0, -1, -1), QColor(239, 239, 239));
    canvas.setPen(Qt::black);
    const int f = FirstValueColumn_;
    const bool twoBand = Mode_ == kMethodSingle && Kind_ >= 1;
    if (twoBand && !state.fixed && col == 0 && f >= 1) {
        // The joined cell before a level value: its band caption, right-aligned
        // and kept clear of the value.
        constexpr int kGapBeforeValue = 8;
        canvas.drawText(rect.adjusted(2, 0, -kGapBeforeValue, 0),
                        Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, LimGrid->Cell(f - 1, row));
        return;
    }
    canvas.drawText(rect.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    LimGrid->Cell(col, row));
}

void TMainform::LimGridSelectCell(int, int) {}

void TMainform::LimGridSetEditText(int, int, const QString&) {}

// ---- editing ------------------------------------------------------------------

void TMainform::DataGridSelectCell(int col, int row) {
    // Only the workplace is typed; the height is chosen from its list.
    DataGrid->SetEditingEnabled(Mode_ == kMethodSingle && col == 1);
    if (Mode_ == kMethodSingle && col == 2) {
        PlaceHeightCombo(col, row);
    } else {
        HideHeightCombo();
    }
}

bool TMainform::DataGridEditCell(int col, int row) {
    if (Mode_ != kMethodSingle || col != 2) return false;
    // Asked to edit the height cell again (a second click, a double click, a key): its list comes back.
    PlaceHeightCombo(col, row);
    return true;
}

void TMainform::PlaceHeightCombo(int col, int row) {
    const QRect cell = DataGrid->CellRect(col, row);
    if (!cell.isValid()) return;
    const QPoint topLeft = DataGrid->mapTo(GroupBox1, cell.topLeft());
    heightComboBusy_ = true;
    MHeightCBox->setGeometry(topLeft.x() + 1, topLeft.y() + 1, cell.width() + 1,
                             std::max(cell.height() + 1, MHeightCBox->sizeHint().height()));
    MHeightCBox->setCurrentIndex(MHeightCBox->findText(DataGrid->Cell(col, row), Qt::MatchExactly));
    MHeightCBox->show();
    MHeightCBox->raise();
    MHeightCBox->setFocus();
    heightComboBusy_ = false;
}

void TMainform::HideHeightCombo() {
    if (MHeightCBox == nullptr || !MHeightCBox->isVisible()) return;
    heightComboBusy_ = true;
    MHeightCBox->hide();
    heightComboBusy_ = false;
}

void TMainform::MHeightCBoxChange() {
    if (heightComboBusy_ || !MHeightCBox->isVisible()) return;
    const int index = MHeightCBox->currentIndex();
    const int col = DataGrid->Col();
    const int row = DataGrid->Row();
    heightComboBusy_ = true;
    MHeightCBox->hide();
    DataGrid->setFocus();
    heightComboBusy_ = false;
    // Left with no item chosen (a height that is no item): nothing changes.
    if (index < 0 || col < 0 || row < 0) return;
    DataGrid->SetCell(col, row, MHeightCBox->itemText(index));
    DataGridSetEditText(col, row, DataGrid->Cell(col, row));
}

void TMainform::DataGridSetEditText(int col, int row, const QString& text) {
    if (Mode_ != kMethodSingle) return;
    TMeasureRecord* record = RecordOfRow(row);
    if (record == nullptr) return;
    const std::string trimmed = TrimBlanks(text.toStdString());
    if (col == 1) {
        if (!trimmed.empty() && !TryStrToInt(trimmed)) {
            Prompts().Beep();
            return;
        }
        const int workplace = StrToIntDef(trimmed, 0);
        const bool changed = workplace != record->workplace;
        record->workplace = workplace;
        if (record->id != 0 && idsOfMainDatabase_) {
            SetStoredWorkplace(MainDatabase(), record->id, record->workplace);
        }
        if (changed) NoteEditOfFileRecord();
    } else if (col == 2) {
        int height = 0;
        if (trimmed == "0.5" || trimmed == "0,5") {
            height = 1;
        } else if (trimmed == "1.0" || trimmed == "1,0") {
            height = 2;
        } else if (trimmed == "1.5" || trimmed == "1,5") {
            height = 3;
        } else {
            Prompts().Beep();
            return;
        }
        const bool changed = height != record->height;
        record->height = height;
        if (record->id != 0 && idsOfMainDatabase_) {
            SetStoredHeight(MainDatabase(), record->id, record->height);
        }
        if (changed) NoteEditOfFileRecord();
    }
}

// ---- monitoring runs ------------------------------------------------------------

void TMainform::FillSeriesList() {
    zorvex::FillSeriesList(*MonComboBox, matrix_(Mode_, Kind_).Records);
}

void TMainform::MonComboBoxChange() {
    UpdateShownRange();
    FillDataGrid();
}

}  // namespace zorvex
