#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/MeasureModel.h"
#include "protocol/CalibrationCheck.h"
#include "protocol/ProtocolFields.h"
#include "protocol/ResultTables.h"

namespace zorvex {

// What the protocol editor holds besides its controls. The window shows
// `Tables` in its grids and its fields through IProtocolFields; the two
// operations below are its FormShow preparation and its "Сформировать".
struct TProtocolSession {
    std::int32_t ProtocolId = 0;  // 0 until stored
    std::string StoredConsts;     // stored texts of a reopened protocol; empty for a new one
    std::string StoredTabData;
    TMeasureDataP Measurements;  // the editor's own copy
    TResultTables Tables = CreatedResultTables();
    std::int32_t WorkplaceCount = 0;

    // False while a reopened protocol's stored texts are not in the editor:
    // storing then would replace them with what the editor failed to load.
    bool TextsLoaded = true;
    std::string NotLoadedReason;

    // The meters that took the measurements, as their downloads recorded
    // them; empty when none came from a recorded download.
    std::vector<TMeterCalibration> Calibrations;
    // The user chose to go on although a calibration was out of date.
    bool CalibrationConfirmed = false;
};

// A session for a new protocol on a copy of the main window's measurements.
TProtocolSession NewProtocolSession(const TMeasureDataP& measurements);
// A session for a stored protocol: its id, stored texts and file measurements.
TProtocolSession StoredProtocolSession(std::int32_t id);

// The editor's preparation when shown: purge the input history and fill the
// combo lists, build the result tables, then set fields and cells from the
// stored texts. A step that fails (or finds no workplace) ends it; what was
// done stays, the error is raised, and TextsLoaded stays false for a
// reopened protocol.
void PrepareEditor(TProtocolSession& session, IProtocolFields& fields);

// The part of that preparation that touches no history: builds the result
// tables and, for a reopened protocol, sets fields and cells from its stored
// texts (TextsLoaded tells whether that happened). Used alone to print a
// stored protocol without a window.
void LoadProtocolTexts(TProtocolSession& session, IProtocolFields& fields);

enum class TFormOutcome {
    Stored,          // row and file written: show the document
    StoredFileKept,  // row updated, old file kept after No: show the document
    NotStored        // No for a new protocol: nothing stored, no document
};

// "Сформировать" up to the document: refuses (Exception, nothing stored)
// when the stored texts were not loaded or a text cannot be stored
// unchanged; asks once whether to go on when a calibration of
// `Calibrations` was out of date on the measurements' day (No: NotStored,
// nothing stored); records the field texts in the input history (one transaction,
// rolled back on failure), encodes, stores the row and writes the file with
// its overwrite question. StoredFileKept is told to the user here.
TFormOutcome FormProtocol(TProtocolSession& session, const IProtocolFields& fields);

}  // namespace zorvex
