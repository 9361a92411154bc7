#pragma once

#include <cstdint>
#include <optional>

#include "base/DateTime.h"

namespace zorvex {
class TSQLiteDatabase;
}

namespace zorvex::archive {

class TPgConnection;

struct TPullOutcome {
    std::int64_t added = 0;
    std::int64_t alreadyHere = 0;  // in data.db already: made here, or fetched before
    std::int32_t localProtocolId = 0;  // pull of a protocol: its row in data.db
};

// Brings the archive's protocol `archiveId` (its row, texts and measurements)
// into the main database `db` as a new protocol with its file, unless data.db
// has it already. Remembers where it came from, so that a later push of it
// updates the archive's row rather than registering its number twice.
TPullOutcome PullProtocol(TPgConnection& conn, TSQLiteDatabase& db, std::int64_t archiveId);

// Brings the archive's measurements of the days firstDay..lastDay that data.db
// lacks into it, in one transaction.
TPullOutcome PullMeasurements(TPgConnection& conn, TSQLiteDatabase& db, std::optional<TDateTime> firstDay,
                              std::optional<TDateTime> lastDay);

}  // namespace zorvex::archive
