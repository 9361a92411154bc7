#include "ui/audit/IntegrityForm.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zorvex {

TIntegrityForm::TIntegrityForm(const TIntegrityReport& report, QWidget* parent) : QDialog(parent) {
    setObjectName("IntegrityForm");
    setWindowTitle("Проверка целостности данных");
    resize(820, 420);
    auto* layout = new QVBoxLayout(this);

    QStringList summary;
    for (const std::string& line : IntegritySummary(report)) summary << QString::fromStdString(line);
    SummaryLabel = new QLabel(summary.join("\n"), this);
    SummaryLabel->setObjectName("SummaryLabel");
    SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = SummaryLabel->font();
    if (!report.Clean()) bold.setBold(true);
    SummaryLabel->setFont(bold);
    layout->addWidget(SummaryLabel);

    IssueGrid = new QTableWidget(static_cast<int>(report.issues.size()), 2, this);
    IssueGrid->setObjectName("IssueGrid");
    IssueGrid->setHorizontalHeaderLabels({"Объект", "Различие"});
    IssueGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    IssueGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    IssueGrid->setWordWrap(true);
    IssueGrid->verticalHeader()->hide();
    IssueGrid->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < IssueGrid->rowCount(); ++row) {
        const TIntegrityIssue& issue = report.issues[static_cast<std::size_t>(row)];
        IssueGrid->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(issue.object)));
        auto* text = new QTableWidgetItem(QString::fromStdString(issue.text));
        text->setToolTip(text->text());
        IssueGrid->setItem(row, 1, text);
    }
    IssueGrid->resizeColumnToContents(0);
    IssueGrid->setVisible(!report.Clean());
    layout->addWidget(IssueGrid, 1);

    CloseBtn = new QPushButton("Закрыть", this);
    CloseBtn->setObjectName("CloseBtn");
    CloseBtn->setDefault(true);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CloseBtn);
    layout->addLayout(buttons);
}

}  // namespace zorvex
