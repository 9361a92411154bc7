#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/DateTime.h"
#include "model/MeasureModel.h"

namespace zorvex {

// A stored protocol is a row of `protocols` in the main database and a
// protocol file, named by the row's id, holding its measurements. Everything
// here works on MainDatabase().

inline constexpr const char* kProtocolFileExtension = ".zorvexpro";

// The protocol directory of the data layout (DataLocations: "protocols"
// beside the program, or in the user's data directory when installed), unless
// a ProtocolDirectoryScope is active.
std::string ProtocolDirectory();
// Protocol files go to `directory` while the guard lives (tests, tools).
class ProtocolDirectoryScope {
public:
    explicit ProtocolDirectoryScope(std::string directory);
    ~ProtocolDirectoryScope();
    ProtocolDirectoryScope(const ProtocolDirectoryScope&) = delete;
    ProtocolDirectoryScope& operator=(const ProtocolDirectoryScope&) = delete;

private:
    std::unique_ptr<std::string> previous_;
};

// <directory>/<id>.zorvexpro
std::string ProtocolFilePath(std::int32_t id);

// The moment a protocol row records: the picked day at the time of day of
// `now`, the moment of storing (the date picker has no time of its own).
TDateTime StoredProtocolDate(TDateTime pickedDate, TDateTime now);

// Inserts the row when `protocolId` is 0 (and sets it to the new id), else
// updates row `protocolId`. `numberText` is stored trimmed, `date` as a file
// stamp. Returns true when a row was inserted.
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
TFileOutcome WriteProtocolFile(std::int32_t& protocolId, bool insertedNow, TMeasureDataP& measurements);

struct TStoredProtocol {
    std::string consts;
    std::string tabdata;
    TMeasureDataP measurements;
};
// The row's two texts and the file's measurements in time order. A missing
// file gives no measurements (and is not created); a missing row raises
// Exception.
TStoredProtocol ReadProtocol(std::int32_t id);

// Deletes the row and the file. A missing file is no error; a file that
// exists but cannot be deleted raises Exception after the row is gone.
void DeleteProtocol(std::int32_t id);

}  // namespace zorvex
