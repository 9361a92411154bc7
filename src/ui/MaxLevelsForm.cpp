#include "ui/MaxLevelsForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "base/Numbers.h"
#include "storage/Levels.h"
#include "storage/Utilities.h"
#include "ui/grid/StringGrid.h"
#include "ui/HandlerGuard.h"
#include "ui/main/Mainform.h"

namespace zorvex {

TMaxLevelsForm::TMaxLevelsForm(TMainform& mainform, QWidget* parent) : QDialog(parent), mainform_(mainform) {
    setObjectName("MaxLevelsForm");
    setWindowTitle("Допустимые уровни");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);

    auto* band = new QWidget(this);
    band->setObjectName("Panel1");
    band->setAutoFillBackground(true);
    QPalette white = band->palette();
    white.setColor(QPalette::Window, Qt::white);
    band->setPalette(white);
    auto* bandLayout = new QHBoxLayout(band);
    auto* icon = new QLabel(band);
    icon->setObjectName("Image1");
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto* titles = new QVBoxLayout;
    auto* title = new QLabel("Допустимые уровни", band);
    title->setObjectName("Label1");
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* subtitle = new QLabel("Задание допустимых уровней", band);
    subtitle->setObjectName("Label2");
    titles->addWidget(title);
    titles->addWidget(subtitle);
    bandLayout->addWidget(icon);
    bandLayout->addLayout(titles, 1);
    layout->addWidget(band);

    ValueListEditor1 = new TStringGrid(this);
    ValueListEditor1->setObjectName("ValueListEditor1");
    ValueListEditor1->SetColCount(2);
    ValueListEditor1->SetRowCount(kSubfieldCount);
    ValueListEditor1->SetFixedRows(1);
    ValueListEditor1->SetCell(0, 0, "Показатель");
    ValueListEditor1->SetCell(1, 0, "Допустимый уровень");
    // The labels keep their full text whatever the desktop font is.
    int keyWidth = 217;
    for (int r = 1; r < kSubfieldCount; ++r) {
        keyWidth = std::max(
            keyWidth, ValueListEditor1->fontMetrics().horizontalAdvance(QString::fromStdString(kLevelLabels[r])) + 8);
    }
    ValueListEditor1->SetColWidth(0, keyWidth);
    ValueListEditor1->SetColWidth(1, 146);
    ValueListEditor1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ValueListEditor1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Keys are read-only; only the value column takes typing.
    ValueListEditor1->OnSelectCell = [this](int col, int) { ValueListEditor1->SetEditingEnabled(col == 1); };
    auto* gridRow = new QHBoxLayout;
    gridRow->setContentsMargins(8, 0, 8, 0);
    gridRow->addWidget(ValueListEditor1);
    layout->addLayout(gridRow, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 8, 0);
    buttons->addStretch(1);
    BitBtn1 = new QPushButton("Сохранить", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Отмена", this);
    BitBtn2->setObjectName("BitBtn2");
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn2Click(); }); });

    const int gridWidth = keyWidth + 146 + 2 * ValueListEditor1->frameWidth() + 1;
    ValueListEditor1->setFixedSize(gridWidth, ValueListEditor1->FullHeight());
    setFixedSize(gridWidth + 16, sizeHint().height());
}

void TMaxLevelsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RunHandler([this] { FormShow(); });
}

void TMaxLevelsForm::FormShow() {
    for (int r = 1; r < kSubfieldCount; ++r) {
        ValueListEditor1->SetCell(0, r, QString::fromStdString(kLevelLabels[r]));
        ValueListEditor1->SetCell(1, r, QString::fromStdString(FloatToStr(mainform_.Levels()[r])));
    }
}

void TMaxLevelsForm::BitBtn1Click() {
    for (int r = 1; r < kSubfieldCount; ++r) {
        const std::string text = ValueListEditor1->Cell(1, r).toStdString();
        mainform_.SetLevel(r, TryStrToFloat(text).value_or(-1.0));
    }
    mainform_.FillDataGrid();
    mainform_.ApplyLevels();
    accept();
}

void TMaxLevelsForm::BitBtn2Click() {
    reject();
}

}  // namespace zorvex
