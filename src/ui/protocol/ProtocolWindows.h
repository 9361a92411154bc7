#pragma once

#include <string_view>

#include "model/MeasureModel.h"
#include "protocol/ProtocolSession.h"

namespace zorvex {

// What the main window calls to open the protocol windows. Each window is
// created without owner, shown modally (RunModal) and destroyed afterwards.

// Whether any single-measurement series holds a record: monitoring series do
// not count for a protocol.
bool HasSingleMeasurements(const TMeasureDataP& matrix);

// "Сформировать протокол..." (N14, Ctrl+P): the editor on a copy of `matrix`,
// or the message "Нет данных для формирования отчёта!" and nothing opened
// when it holds no single measurement. Returns whether the editor opened.
// `idsOfMainDatabase`: the records' ids are rows of the program's database,
// so the downloads they came from, and the meters' calibrations, are known.
bool OpenProtocolEditor(const TMeasureDataP& matrix, bool idsOfMainDatabase);

// The editor on a prepared session (a new or a stored protocol).
void RunReportForm(TProtocolSession session);

// "Список протоколов..." (N6).
void OpenProtocolList();

// The menu "Справочники": item `menuIndex` 0..6 is N27..N33 in menu order
// (kDirectoryMenu). Out of range: nothing happens.
void OpenReferenceEditor(int menuIndex);
// The same by the item's name, "N27" .. "N33".
void OpenReferenceEditor(std::string_view itemName);

}  // namespace zorvex
