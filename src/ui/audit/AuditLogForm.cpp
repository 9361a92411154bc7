#include "ui/audit/AuditLogForm.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "storage/SQLiteDatabase.h"

namespace zorvex {
namespace {

constexpr int kShownCharacters = 60;

QString Shown(const std::optional<std::string>& value) {
    if (!value) return "-";
    QString text = QString::fromStdString(*value);
    text.replace('\r', ' ').replace('\n', ' ');
    return text.size() > kShownCharacters ? text.left(kShownCharacters) + "…" : text;
}

QString ObjectText(const TAuditChange& c) {
    QString object = QString::fromStdString(c.table);
    if (!c.objectId.empty()) object += "/" + QString::fromStdString(c.objectId);
    if (!c.field.empty()) object += "/" + QString::fromStdString(c.field);
    return object;
}

}  // namespace

TAuditLogForm::TAuditLogForm(QWidget* parent) : QDialog(parent), entries_(ReadAuditLog(MainDatabase())) {
    setObjectName("AuditLogForm");
    setWindowTitle("Журнал изменений");
    resize(980, 560);
    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Vertical, this);

    AuditGrid = new QTableWidget(static_cast<int>(entries_.size()), 8, splitter);
    AuditGrid->setObjectName("AuditGrid");
    AuditGrid->setHorizontalHeaderLabels(
        {"№", "Время", "Пользователь", "Станция", "Изменение", "Объект", "Было", "Стало"});
    AuditGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AuditGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    AuditGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    AuditGrid->verticalHeader()->hide();
    AuditGrid->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < AuditGrid->rowCount(); ++row) {
        const TAuditEntry& e = entries_[static_cast<std::size_t>(row)];
        const QString cells[8] = {QString::number(e.id),
                                  QString::fromStdString(e.time),
                                  QString::fromStdString(e.user),
                                  QString::fromStdString(e.workstation),
                                  QString::fromStdString(AuditKindCaption(e.change.kind)),
                                  ObjectText(e.change),
                                  Shown(e.change.oldValue),
                                  Shown(e.change.newValue)};
        for (int col = 0; col < 8; ++col) AuditGrid->setItem(row, col, new QTableWidgetItem(cells[col]));
    }
    AuditGrid->resizeColumnsToContents();
    connect(AuditGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { AuditGridSelect(row); });

    DetailMemo = new QPlainTextEdit(splitter);
    DetailMemo->setObjectName("DetailMemo");
    DetailMemo->setReadOnly(true);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    auto* close = new QPushButton("Закрыть", this);
    close->setObjectName("CloseBtn");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    // The newest change in sight.
    if (AuditGrid->rowCount() > 0) AuditGrid->setCurrentCell(AuditGrid->rowCount() - 1, 0);
}

void TAuditLogForm::AuditGridSelect(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) {
        DetailMemo->clear();
        return;
    }
    const TAuditEntry& e = entries_[static_cast<std::size_t>(row)];
    const auto value = [](const std::optional<std::string>& v) {
        return v ? QString::fromStdString(*v) : QString("нет");
    };
    DetailMemo->setPlainText(QString("%1 %2, %3@%4\nОбъект: %5\nБыло: %6\nСтало: %7")
                                 .arg(QString::fromStdString(e.time),
                                      QString::fromStdString(AuditKindCaption(e.change.kind)) + " (" +
                                          QString::fromStdString(e.change.kind) + ")",
                                      QString::fromStdString(e.user), QString::fromStdString(e.workstation),
                                      ObjectText(e.change), value(e.change.oldValue), value(e.change.newValue)));
}

}  // namespace zorvex
