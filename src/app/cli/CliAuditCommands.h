#pragma once

#include <vector>

#include "app/cli/CliApp.h"

namespace zorvex::cli {

// `audit`: the audit log of the database; `verify`: the stored data checked
// against the kept memory images, their fingerprints and the protocol files.
std::vector<CliCommand> AuditCommands();

}  // namespace zorvex::cli
