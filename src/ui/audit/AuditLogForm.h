#pragma once

#include <QDialog>
#include <vector>

#include "storage/AuditLog.h"

class QPlainTextEdit;
class QTableWidget;

namespace zorvex {

// "Журнал изменений": the audit log of the main database, oldest change
// first, one row per change; the chosen row's values are shown in full below
// the table (in the table long values are cut short).
//
// Use:
//     TAuditLogForm dialog(parent);
//     RunModal(dialog);
class TAuditLogForm final : public QDialog {
    Q_OBJECT
public:
    explicit TAuditLogForm(QWidget* parent = nullptr);

    QTableWidget* AuditGrid =
        nullptr;  // "№", "Время", "Пользователь", "Станция", "Изменение", "Объект", "Было", "Стало"
    QPlainTextEdit* DetailMemo = nullptr;

    const std::vector<TAuditEntry>& Entries() const { return entries_; }

    // ---- event handlers
    void AuditGridSelect(int row);

private:
    std::vector<TAuditEntry> entries_;
};

}  // namespace zorvex
