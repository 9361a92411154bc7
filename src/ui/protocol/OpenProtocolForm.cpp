#include "ui/protocol/OpenProtocolForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <vector>

#include "base/Prompts.h"
#include "protocol/ProtocolList.h"
#include "protocol/ProtocolStore.h"
#include "ui/HandlerGuard.h"
#include "ui/protocol/ProtocolWindows.h"

namespace zorvex {

namespace {
constexpr int kMinimumColumnWidth = 256;
constexpr const char* kSelectOne = "Выделите один из протоколов";
}  // namespace

TOpenProtocolForm::TOpenProtocolForm(QWidget* parent) : QDialog(parent) {
    setObjectName("OpenProtocolForm");
    setWindowTitle("Список протоколов");
    resize(420, 360);

    Label1 = new QLabel("Выберите протокол для редактирования и печати:", this);
    Label1->setObjectName("Label1");
    ListView1 = new QListWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setMinimumWidth(kMinimumColumnWidth);
    ListView1->setIconSize(QSize(16, 16));

    BitBtn1 = new QPushButton("Открыть", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn3 = new QPushButton("Удалить", this);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn3->setAutoDefault(false);
    BitBtn2 = new QPushButton("Отмена", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn3);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn1Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn3Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(ListView1, &QListWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });
}

void TOpenProtocolForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // restored from minimised: nothing to prepare again
    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    RunHandler([this] { FormShow(); });
}

void TOpenProtocolForm::FormShow() {
    FillList();
}

void TOpenProtocolForm::FillList() {
    std::vector<TProtocolListItem> items;
    const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    // A row that fails leaves the items before it, and its own empty item, in
    // the list; the error goes on to the caller.
    const auto show = [&] {
        ListView1->clear();
        for (const TProtocolListItem& entry : items) {
            auto* item = new QListWidgetItem(icon, QString::fromStdString(entry.caption), ListView1);
            item->setData(Qt::UserRole, entry.id);
        }
    };
    try {
        zorvex::FillList(items);
    } catch (...) {
        show();
        throw;
    }
    show();
}

bool TOpenProtocolForm::SelectedItem(int& id, QString& caption) const {
    const QList<QListWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) {
        Prompts().ShowMessage(kSelectOne, "", MessageIcon::Information);
        return false;
    }
    id = selected.first()->data(Qt::UserRole).toInt();
    caption = selected.first()->text();
    return true;
}

void TOpenProtocolForm::BitBtn1Click() {
    int id = 0;
    QString caption;
    if (!SelectedItem(id, caption)) return;
    TProtocolSession session = StoredProtocolSession(id);
    // The user goes back to the main window, not to this list.
    hide();
    done(QDialog::Accepted);
    RunReportForm(std::move(session));
}

void TOpenProtocolForm::BitBtn3Click() {
    int id = 0;
    QString caption;
    if (!SelectedItem(id, caption)) return;
    if (!Prompts().Confirm("Удалить " + caption.toStdString() + "?", "")) return;
    DeleteProtocol(id);
    FillList();
}

void TOpenProtocolForm::BitBtn2Click() {
    reject();
}

void TOpenProtocolForm::ListView1DblClick() {
    BitBtn1->click();
}

}  // namespace zorvex
