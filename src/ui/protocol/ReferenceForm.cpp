#include "ui/protocol/ReferenceForm.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "storage/ReferenceDirectories.h"
#include "storage/Utilities.h"
#include "ui/grid/StringGrid.h"
#include "ui/HandlerGuard.h"

namespace zorvex {

namespace {
constexpr int kRowHeight = 21;
constexpr int kEmptyRowCheckMs = 500;
}  // namespace

TReferenceForm::TReferenceForm(QWidget* parent) : QDialog(parent) {
    setObjectName("ReferenceForm");
    setSizeGripEnabled(true);
    resize(720, 420);

    StringGrid1 = new TStringGrid(this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->SetFixedRows(1);
    StringGrid1->SetDefaultRowHeight(kRowHeight);
    StringGrid1->SetEditingEnabled(true);

    BitBtn1 = new QPushButton("Сохранить", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton("Отмена", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid1, 1);
    layout->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kEmptyRowCheckMs);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TReferenceForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Timer1->start();
    if (event->spontaneous()) return;  // restored from minimised: keep what was typed
    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    RunHandler([this] { FormShow(); });
}

void TReferenceForm::hideEvent(QHideEvent* event) {
    Timer1->stop();
    QDialog::hideEvent(event);
}

void TReferenceForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitColumns();
}

void TReferenceForm::FormShow() {
    const TDirectoryContents contents = LoadDirectory(TableName.toStdString());
    def_ = contents.def;
    if (!def_) return;
    setWindowTitle(QString::fromUtf8(def_->title.data(), static_cast<qsizetype>(def_->title.size())));

    const int columns = def_->ColumnCount();
    StringGrid1->ClearCells();
    StringGrid1->SetColCount(columns);
    StringGrid1->SetRowCount(static_cast<int>(contents.rows.size()) + 2);
    for (int col = 0; col < columns; ++col) {
        const std::string_view caption = def_->captions[static_cast<std::size_t>(col)];
        StringGrid1->SetCell(col, 0, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    }
    for (std::size_t r = 0; r < contents.rows.size(); ++r) {
        const TDirectoryRow& row = contents.rows[r];
        for (int col = 0; col < columns && col < static_cast<int>(row.size()); ++col)
            StringGrid1->SetCell(col, static_cast<int>(r) + 1,
                                 QString::fromStdString(row[static_cast<std::size_t>(col)]));
    }
    FitColumns();
}

void TReferenceForm::FitColumns() {
    const int columns = StringGrid1->ColCount();
    if (columns <= 0) return;
    const int width = DirectoryColumnWidth(StringGrid1->viewport()->width(), columns);
    for (int col = 0; col < columns; ++col) StringGrid1->SetColWidth(col, width);
}

void TReferenceForm::Timer1Timer() {
    const int last = StringGrid1->RowCount() - 1;
    if (last < StringGrid1->FixedRows()) return;
    TDirectoryRow row;
    for (int col = 0; col < StringGrid1->ColCount(); ++col) row.push_back(StringGrid1->Cell(col, last).toStdString());
    if (RowHasText(row)) StringGrid1->SetRowCount(StringGrid1->RowCount() + 1);
}

void TReferenceForm::BitBtn1Click() {
    if (!def_) {
        reject();
        return;
    }
    std::vector<TDirectoryRow> rows;
    for (int r = StringGrid1->FixedRows(); r < StringGrid1->RowCount(); ++r) {
        TDirectoryRow row;
        for (int col = 0; col < StringGrid1->ColCount(); ++col) row.push_back(StringGrid1->Cell(col, r).toStdString());
        rows.push_back(std::move(row));
    }
    SaveDirectory(def_->table, rows);
    accept();
}

void TReferenceForm::BitBtn2Click() {
    reject();
}

}  // namespace zorvex
