#pragma once

#include <span>
#include <string>

#include "base/DateTime.h"
#include "model/MeasureModel.h"

namespace zorvex {

// Names the save dialogs offer, made of what is saved, without extension; the
// dialogs make them fit for a file name (FileNamePart).

// A measurement file of the whole matrix: "Измерения 17.03.2026", or with the
// first and the last day when they differ; "Измерения" for an empty matrix.
std::string MeasurementFileName(const TMeasureDataP& data);

// The table on view as CSV: single measurements of a kind with their days
// ("Однократные Магнитное поле 17.03.2026"), or a monitoring run of a kind by
// its start ("Мониторинг 50Гц 17.03.2026 10:00:00"). `shown` are the records
// the table lists.
std::string TableFileName(int mode, int kind, std::span<const TMeasureRecord> shown);

// The graph of a monitoring run starting at `runStart`.
std::string GraphFileName(int kind, TDateTime runStart);

}  // namespace zorvex
