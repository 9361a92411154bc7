#include "ui/protocol/ProtocolWindows.h"

#include <utility>

#include "base/Prompts.h"
#include "protocol/CalibrationCheck.h"
#include "storage/ReferenceDirectories.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/OpenProtocolForm.h"
#include "ui/protocol/ReferenceForm.h"
#include "ui/protocol/ReportForm.h"

namespace zorvex {

bool HasSingleMeasurements(const TMeasureDataP& matrix) {
    for (int kind = 0; kind < kKindCount; ++kind)
        if (!matrix(kMethodSingle, kind).Records.empty()) return true;
    return false;
}

bool OpenProtocolEditor(const TMeasureDataP& matrix, bool idsOfMainDatabase) {
    if (!HasSingleMeasurements(matrix)) {
        Prompts().ShowMessage("Нет данных для формирования отчёта!", "", MessageIcon::Information);
        return false;
    }
    TProtocolSession session = NewProtocolSession(matrix);
    // Looked up now: the protocol file gives the editor's copy the file's own ids.
    // Ids of a measurement file would name unrelated rows of the database.
    if (idsOfMainDatabase) session.Calibrations = StoredMeterCalibrations(matrix);
    RunReportForm(std::move(session));
    return true;
}

void RunReportForm(TProtocolSession session) {
    TReportForm form(std::move(session));
    RunModal(form);
}

void OpenProtocolList() {
    TOpenProtocolForm form;
    RunModal(form);
}

void OpenReferenceEditor(int menuIndex) {
    if (menuIndex < 0 || menuIndex >= static_cast<int>(kDirectoryMenu.size())) return;
    TReferenceForm form;
    const std::string_view table = kDirectoryMenu[static_cast<std::size_t>(menuIndex)].table;
    form.TableName = QString::fromUtf8(table.data(), static_cast<qsizetype>(table.size()));
    RunModal(form);
}

void OpenReferenceEditor(std::string_view itemName) {
    for (std::size_t i = 0; i < kDirectoryMenu.size(); ++i)
        if (kDirectoryMenu[i].itemName == itemName) OpenReferenceEditor(static_cast<int>(i));
}

}  // namespace zorvex
