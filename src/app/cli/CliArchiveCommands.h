#pragma once

#include <vector>

#include "app/cli/CliApp.h"

namespace zorvex::cli {

// `archive`: the lab archive on a PostgreSQL server.
std::vector<CliCommand> ArchiveCommands();

}  // namespace zorvex::cli
