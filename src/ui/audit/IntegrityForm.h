#pragma once

#include <QDialog>

#include "storage/IntegrityCheck.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace zorvex {

// The result of "Проверить целостность данных": what was checked and every
// difference found, one row each (what differs, and in which object).
//
// Use:
//     TIntegrityForm dialog(VerifyIntegrity(), parent);
//     RunModal(dialog);
class TIntegrityForm final : public QDialog {
    Q_OBJECT
public:
    explicit TIntegrityForm(const TIntegrityReport& report, QWidget* parent = nullptr);

    QLabel* SummaryLabel = nullptr;
    QTableWidget* IssueGrid = nullptr;  // "Объект", "Различие"
    QPushButton* CloseBtn = nullptr;
};

}  // namespace zorvex
