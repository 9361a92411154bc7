#pragma once

#include <string>

namespace zorvex {

// Who and where, as the operating system names them: the login name of the
// user running the program and the host name of the computer. Empty when the
// system does not say.
std::string OperatingSystemUser();
std::string WorkstationName();

}  // namespace zorvex
