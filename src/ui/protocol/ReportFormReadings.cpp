// The protocol editor's notes on the readings behind its tables: single
// measurements the tables leave out, and cells that several readings compete
// for, with the user's choice of the one a cell holds.

#include <QButtonGroup>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <algorithm>

#include "base/DateTime.h"
#include "base/Numbers.h"
#include "ui/grid/StringGrid.h"
#include "ui/protocol/ReportForm.h"

namespace zorvex {

namespace {

constexpr int kQuantityWidth = 230;
const QColor kDroppedHighBackground(255, 208, 208);
const QColor kWarningText(170, 0, 0);

enum ContestedColumn { ccQuantity, ccWorkplace, ccHeight, ccNorm, ccValue, ccKind, ccTime, ccHeld };

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QTableWidgetItem* Item(const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

}  // namespace

std::string TReportForm::GridText(const TContestedCell& cell) const {
    const TStringGrid* grid = ResultGrids[static_cast<std::size_t>(cell.table)];
    if (!grid || cell.col >= grid->ColCount() || cell.row >= grid->RowCount()) return {};
    return grid->Cell(cell.col, cell.row).toStdString();
}

void TReportForm::ShowReadingNotes() {
    const std::string omitted = OmittedSinglesText(CountOmittedSingles(session_.Measurements));
    OmittedLabel->setText(ToQ(omitted));
    OmittedLabel->setVisible(!omitted.empty());

    // Only cells the tables were built with: without a workplace there are none.
    contested_ =
        session_.WorkplaceCount > 0 ? FindContestedCells(session_.Measurements) : std::vector<TContestedCell>{};
    FillContestedGrid();
    RefreshContested();
}

void TReportForm::FillContestedGrid() {
    for (const auto& buttons : choices_)
        for (QRadioButton* button : buttons) button->group()->deleteLater();
    choices_.clear();
    ContestedGrid->clearSpans();
    ContestedGrid->setRowCount(0);

    int rows = 0;
    for (const TContestedCell& cell : contested_) rows += static_cast<int>(cell.readings.size());
    ContestedGrid->setRowCount(rows);

    int row = 0;
    for (std::size_t c = 0; c < contested_.size(); ++c) {
        const TContestedCell& cell = contested_[c];
        const int first = row;
        const int count = static_cast<int>(cell.readings.size());
        ContestedGrid->setItem(first, ccQuantity, Item(std::string(LevelTableShortName(cell.table))));
        ContestedGrid->setItem(first, ccWorkplace, Item(IntToStr(cell.workplace)));
        ContestedGrid->setItem(first, ccHeight, Item(HeightHeading(cell.col)));
        // Only a numeric norm is compared with; the others are no mark's reason.
        ContestedGrid->setItem(first, ccNorm,
                               Item(TableNorm(cell.table) ? std::string(LevelTableNorm(cell.table)) : "—"));
        for (const int column : {ccQuantity, ccWorkplace, ccHeight, ccNorm})
            ContestedGrid->setSpan(first, column, count, 1);

        auto* group = new QButtonGroup(ContestedGrid);
        group->setExclusive(true);
        std::vector<QRadioButton*> buttons;
        for (std::size_t r = 0; r < cell.readings.size(); ++r, ++row) {
            const TCellReading& reading = cell.readings[r];
            ContestedGrid->setItem(row, ccValue, Item(FormatLevel(reading.value)));
            ContestedGrid->setItem(row, ccKind, Item(std::string(ReadingKindName(reading.kind))));
            ContestedGrid->setItem(row, ccTime, Item(DateToStr(reading.time) + " " + TimeToStr(reading.time)));
            auto* button = new QRadioButton;
            button->setObjectName(QString("ContestedChoice_%1_%2").arg(c).arg(r));
            group->addButton(button);
            // Clicked, not toggled: the list's own updates must not count as choices.
            connect(button, &QRadioButton::clicked, this, [this, c, r] { HoldContestedReading(c, r); });
            ContestedGrid->setCellWidget(row, ccHeld, button);
            buttons.push_back(button);
        }
        choices_.push_back(std::move(buttons));
    }

    ContestedGrid->resizeColumnsToContents();
    // The quantity wraps over the rows of its readings, so every column fits.
    ContestedGrid->setColumnWidth(ccQuantity, std::min(ContestedGrid->columnWidth(ccQuantity), kQuantityWidth));
    int height = 2 * ContestedGrid->frameWidth() + ContestedGrid->horizontalHeader()->sizeHint().height();
    for (int r = 0; r < rows; ++r) height += ContestedGrid->rowHeight(r);
    // All rows in view: the window's area scrolls, the list does not.
    ContestedGrid->setFixedHeight(height);
    ContestedGrid->setVisible(rows > 0);
}

void TReportForm::RefreshContested() {
    marks_.clear();
    int dropsHigh = 0;
    int row = 0;
    for (std::size_t c = 0; c < contested_.size(); ++c) {
        const TContestedCell& cell = contested_[c];
        const std::string text = GridText(cell);
        const bool high = DropsReadingAtOrAboveNorm(cell, text);
        dropsHigh += high ? 1 : 0;
        marks_[{cell.table, cell.col, cell.row}] = high ? TCellMark::DropsAtOrAboveNorm : TCellMark::Contested;

        // No button checked when the cell holds a text none of the readings gives.
        const std::optional<std::size_t> held = HeldReading(cell, text);
        std::vector<QRadioButton*>& buttons = choices_[c];
        QButtonGroup* group = buttons.front()->group();
        group->setExclusive(false);
        const std::optional<double> norm = TableNorm(cell.table);
        for (std::size_t r = 0; r < buttons.size(); ++r, ++row) {
            buttons[r]->setChecked(held == r);
            const TCellReading& reading = cell.readings[r];
            const bool droppedHigh = norm && reading.value >= *norm && !IsShown(reading, text);
            for (const int column : {ccValue, ccKind, ccTime}) {
                QTableWidgetItem* item = ContestedGrid->item(row, column);
                item->setBackground(droppedHigh ? QBrush(kDroppedHighBackground) : QBrush());
                item->setForeground(droppedHigh ? QBrush(kWarningText) : QBrush());
            }
        }
        group->setExclusive(true);
    }

    if (contested_.empty()) {
        ContestedLabel->hide();
    } else {
        QString note = QString(
                           "Ячейки с несколькими измерениями: %1 (в таблицах выделены цветом). В таблице — "
                           "отмеченное значение; отметьте другое, чтобы заменить его.")
                           .arg(contested_.size());
        if (dropsHigh > 0)
            note += QString(" Не показано значение не ниже нормы в ячейках: %1 (выделены красным).").arg(dropsHigh);
        ContestedLabel->setText(note);
        QPalette palette = this->palette();
        if (dropsHigh > 0) palette.setColor(QPalette::WindowText, kWarningText);
        ContestedLabel->setPalette(palette);
        ContestedLabel->show();
    }
    for (TStringGrid* grid : ResultGrids)
        if (grid) grid->viewport()->update();
}

void TReportForm::HoldContestedReading(std::size_t cell, std::size_t reading) {
    if (cell >= contested_.size() || reading >= contested_[cell].readings.size()) return;
    TContestedCell& contested = contested_[cell];
    HoldReading(contested, reading, session_.Tables);
    TStringGrid& grid = *ResultGrids[static_cast<std::size_t>(contested.table)];
    grid.SetCell(contested.col, contested.row,
                 QString::fromStdString(
                     session_.Tables[static_cast<std::size_t>(contested.table)].Cell(contested.col, contested.row)));
    RefreshContested();
}

QRadioButton* TReportForm::ContestedChoice(std::size_t cell, std::size_t reading) const {
    if (cell >= choices_.size() || reading >= choices_[cell].size()) return nullptr;
    return choices_[cell][reading];
}

}  // namespace zorvex
