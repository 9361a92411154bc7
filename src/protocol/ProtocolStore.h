#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/DataLocations.h"
#include "base/DateTime.h"
#include "model/MeasureModel.h"
#include "storage/ProtocolFiles.h"

namespace zorvex {

// A stored protocol is a row of `protocols` in the main database and a
// protocol file, named by the row's id, holding its measurements. Everything
// here works on MainDatabase().

// The moment a protocol row records: the picked day at the time of day of
// `now`, the moment of storing (the date picker has no time of its own).
TDateTime StoredProtocolDate(TDateTime pickedDate, TDateTime now);

// Inserts the row when `protocolId` is 0 (and sets it to the new id), else
// updates row `protocolId`. `numberText` is stored trimmed, `date` as a file
// stamp. Returns true when a row was inserted. The row before and after goes
// to the audit log in the same transaction (none for an update that changes
// nothing); so does every deletion of a row below.
bool StoreProtocol(std::int32_t& protocolId, const std::string& numberText, TDateTime date, const std::string& consts,
                   const std::string& tabdata);

enum class TFileOutcome {
    Written,        // the file holds the measurements
    NewDeclined,    // No for a protocol inserted by this command: its row is deleted, protocolId is 0 again
    StoredDeclined  // No for a protocol stored before: row and old file stay
};

// Writes `measurements` into the protocol file of `protocolId`, creating the
// directory when missing. An existing file is replaced only after Yes to
// "Файл с имененим <path> уже существует, заменить?", and only once the new
// file is complete (TFileDataAdapter): a failed write leaves the old file as
// it was. `insertedNow` tells whether this command inserted the row. A write
// that fails raises Exception; the row of a protocol inserted by this command
// is then deleted as on No, so it never names a foreign or missing file.
// The new file's SHA-256 is stored in `protocolfingerprints`, with its entry
// in the audit log, in the transaction during which the file takes its place.
TFileOutcome WriteProtocolFile(std::int32_t& protocolId, bool insertedNow, TMeasureDataP& measurements);

struct TStoredProtocol {
    std::string consts;
    std::string tabdata;
    TMeasureDataP measurements;
};
// The row's two texts and the file's measurements in time order. The file is
// read from ProtocolFilePath, or, when it is not there, from the layout's
// former protocol directory, where an earlier version kept the files of every
// database (a ProtocolDirectoryScope's own former directory, if any); the next store
// writes it to ProtocolFilePath and leaves the former file alone. A missing
// row raises "Протокол N не найден", a file in neither place an Exception
// naming it (nothing is created).
TStoredProtocol ReadProtocol(std::int32_t id);

// Deletes the row and the file at ProtocolFilePath; a file in the former
// directory may be another database's and stays. A missing file is no error;
// a file that exists but cannot be deleted raises Exception after the row is
// gone.
void DeleteProtocol(std::int32_t id);

}  // namespace zorvex
