#pragma once

#include <string>

namespace zorvex::archive {

class TPgConnection;

// The version of the archive's tables this program writes and reads.
inline constexpr int kArchiveSchemaVersion = 1;

struct TInitOutcome {
    int previousVersion = 0;  // 0 for an archive created now
    int version = kArchiveSchemaVersion;
};

// Creates the archive's tables in an empty database, or brings an older
// archive up to this program's version, in one transaction; an archive of a
// newer program is refused and left as it is.
TInitOutcome InitArchive(TPgConnection& conn);

// The archive's identity (a random id made by InitArchive), after checking
// that its version is this program's; raises EArchiveError with what to do
// otherwise.
std::string CheckArchive(TPgConnection& conn);

}  // namespace zorvex::archive
