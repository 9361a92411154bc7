#pragma once

#include <optional>
#include <string>

namespace zorvex {
class TSQLiteDatabase;
}

namespace zorvex::archive {

// What data.db keeps for the archive, in tables of its own (the program's
// specified tables stay as they are): the remembered connection (never a
// password), the workstation's id, which rows went to which archive and
// which rows came from it.
void EnsureLocalTables(TSQLiteDatabase& db);

struct TWorkstation {
    std::string id;  // made once per data.db, kept for good
    std::string host;
    std::string user;
};

// The workstation of this data.db, its id made and kept on first use; host
// and user are those of this run.
TWorkstation LocalWorkstation(TSQLiteDatabase& db);
// The same without writing: no id when none is kept yet.
std::optional<std::string> KeptWorkstationId(TSQLiteDatabase& db);

std::string HostName();
std::string UserName();
// 128 random bits as a UUID text.
std::string NewRandomId();

// The connection the window uses, remembered without a password.
std::optional<std::string> RememberedConnection(TSQLiteDatabase& db);
void RememberConnection(TSQLiteDatabase& db, const std::string& conninfo);

}  // namespace zorvex::archive
