#include "ui/protocol/RefSelectForm.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "storage/ReferenceDirectories.h"
#include "ui/HandlerGuard.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/ReferenceForm.h"

namespace zorvex {

TRefSelectForm::TRefSelectForm(QWidget* parent) : QDialog(parent) {
    setObjectName("RefSelectForm");
    resize(560, 380);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName("CheckListBox1");
    CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    CheckListBox1->hide();

    BitBtn1 = new QPushButton("Выбрать", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn1->setEnabled(false);
    BitBtn2 = new QPushButton("Отмена", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setAutoDefault(false);
    BitBtn3 = new QPushButton("Добавить/удалить", this);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn3->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn3);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBox1, 1);
    layout->addWidget(CheckListBox1, 1);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn3Click(); }); });
    // Selection and check marks change only by clicks and keys.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { UpdateChooseButton(); });
    connect(CheckListBox1, &QListWidget::itemChanged, this, [this] { UpdateChooseButton(); });
    connect(CheckListBox1, &QListWidget::itemDoubleClicked, this, [this] { BitBtn1Click(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { BitBtn1Click(); });
}

void TRefSelectForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // restored from minimised: keep the checks
    RunHandler([this] { FormShow(); });
}

void TRefSelectForm::FormShow() {
    CheckListBox1->setVisible(MultiSelect);
    ListBox1->setVisible(!MultiSelect);
    LoadList();
}

void TRefSelectForm::LoadList() {
    QListWidget* list = MultiSelect ? CheckListBox1 : ListBox1;
    list->clear();
    items_.clear();
    UpdateChooseButton();
    const std::string table = TableName.toStdString();
    const TDirectoryDef* def = FindDirectory(table);
    if (!def) return;
    setWindowTitle(QString::fromUtf8(def->title.data(), static_cast<qsizetype>(def->title.size())));
    items_ = PickerItems(table);
    const QSignalBlocker blocker(list);
    for (const std::string& text : items_) {
        auto* item = new QListWidgetItem(QString::fromStdString(text), list);
        if (MultiSelect) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
}

std::vector<bool> TRefSelectForm::Checks() const {
    std::vector<bool> checked;
    for (int i = 0; i < CheckListBox1->count(); ++i)
        checked.push_back(CheckListBox1->item(i)->checkState() == Qt::Checked);
    return checked;
}

bool TRefSelectForm::CanChooseNow() const {
    const int selected = ListBox1->selectedItems().isEmpty() ? -1 : ListBox1->row(ListBox1->selectedItems().first());
    return CanChoose(MultiSelect, selected, MultiSelect ? Checks() : std::vector<bool>());
}

void TRefSelectForm::UpdateChooseButton() {
    BitBtn1->setEnabled(CanChooseNow());
}

void TRefSelectForm::BitBtn1Click() {
    if (!CanChooseNow()) return;
    if (MultiSelect) {
        ResultText = zorvex::ResultText(items_, Checks());
    } else {
        ResultText = items_[static_cast<std::size_t>(ListBox1->row(ListBox1->selectedItems().first()))];
    }
    accept();
}

void TRefSelectForm::BitBtn2Click() {
    reject();
}

void TRefSelectForm::BitBtn3Click() {
    TReferenceForm editor(this);
    editor.TableName = TableName;
    if (RunModal(editor) == QDialog::Accepted) LoadList();
}

}  // namespace zorvex
