// Commands that talk to the meter or read a memory image.
#include "app/cli/CliApp.h"

namespace zorvex::cli {

std::vector<CliCommand> DeviceCommands() { return {}; }

}  // namespace zorvex::cli
