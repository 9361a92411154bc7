#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvex {
class TSQLiteDatabase;
}

namespace zorvex::archive {

class TPgConnection;

// Whether data.db keeps an audit log (a program version that writes one).
bool HasAuditLog(TSQLiteDatabase& db);

// Sends the audit entries the archive lacks, each as the row it is in
// data.db (column name to value, as JSON), inside the caller's transaction;
// returns their row ids for NoteAuditSent and adds their count to `sent`.
std::vector<std::int64_t> PushAuditLog(TPgConnection& conn, TSQLiteDatabase& db, const std::string& workstation,
                                       const std::string& archiveId, std::int64_t& sent);
// Notes in data.db that these entries went to the archive.
void NoteAuditSent(TSQLiteDatabase& db, const std::string& archiveId, const std::vector<std::int64_t>& entries);

}  // namespace zorvex::archive
