// The program menu's check of the stored data and its audit log.
#include <QApplication>
#include <QGuiApplication>

#include "storage/IntegrityCheck.h"
#include "ui/ModalRunner.h"
#include "ui/audit/AuditLogForm.h"
#include "ui/audit/IntegrityForm.h"
#include "ui/main/Mainform.h"

namespace zorvex {

void TMainform::IntegrityItemClick() {
    TIntegrityReport report;
    {
        // A few seconds for a large database; the window stays drawn meanwhile.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        struct CursorGuard {
            ~CursorGuard() { QGuiApplication::restoreOverrideCursor(); }
        } guard;
        report = VerifyIntegrity(
            [](std::size_t, std::size_t) { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    }
    TIntegrityForm dialog(report, this);
    RunModal(dialog);
}

void TMainform::AuditLogItemClick() {
    TAuditLogForm dialog(this);
    RunModal(dialog);
}

}  // namespace zorvex
