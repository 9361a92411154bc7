#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/PgConnection.h"
#include "archive/Workstation.h"
#include "model/MeasureModel.h"

namespace zorvex {
class TSQLiteDatabase;
}

namespace zorvex::archive {

// Raised when the caller stops a push: the archive is left as it was.
class EArchiveStopped : public EArchiveError {
public:
    EArchiveStopped() : EArchiveError("Прервано пользователем") {}
};

struct TPushProgress {
    std::string stage;  // what is being sent, in Russian
    std::int64_t done = 0, total = 0;
};
// Called often during a push; false stops it.
using TPushCallback = std::function<bool(const TPushProgress&)>;

struct TPushReport {
    TWorkstation workstation;
    std::string archiveTarget;
    std::int64_t measurementsAdded = 0, measurementsChanged = 0;
    std::int64_t downloads = 0, protocols = 0, auditEntries = 0;
    // Rows of data.db no archive row can hold (a time or value that is no
    // time or number, a method or kind the program does not know).
    std::int64_t unreadableRows = 0;
    bool auditLogFound = false;
    // One Russian line per protocol the register refused or that could not be sent.
    std::vector<std::string> refusedProtocols;
};

// Sends everything of the main database `db` the archive does not hold yet,
// in one transaction of the archive: measurements (with workplace and height,
// and later changes of them), downloads with the meter's passport, memory
// image and its fingerprint, protocols with their measurements, the audit log
// where data.db keeps one. A protocol refused by the register is left out and
// named in the report; the rest goes. data.db notes what went only after the
// archive committed, so a push stopped at any point stores nothing twice when
// it is run again.
TPushReport PushToArchive(TPgConnection& conn, TSQLiteDatabase& db, const TPushCallback& progress = {});

// The fingerprint that tells whether a protocol changed since it was sent.
std::string ProtocolDigest(const std::string& number, const std::string& date, const std::string& consts,
                           const std::string& tabdata, const TMeasureDataP& measurements, bool hasFile);

// The register's key of a protocol: its year (0 for a date that is no date)
// and number text trimmed of blanks and control characters at both ends.
struct TRegisterKey {
    int year = 0;
    std::string number;
};
TRegisterKey RegisterKey(const std::string& number, const std::string& dateText);

// Item 1 of a protocol's field text (the inspected organisation).
std::string OrganisationOf(const std::string& consts);

}  // namespace zorvex::archive
