#pragma once

#include <string>

namespace zorvex {

// The settings that hold for the whole run, made before any window exists and
// again by the main window: floating-point exceptions masked (a division by
// zero gives an infinity), the random generator seeded from the clock, and
// "." as the decimal separator of the C library (LC_NUMERIC "C").
void ApplyRunSettings();

// Only LC_NUMERIC back to "C" (Qt sets the locale from the environment).
void ResetNumericLocale();

// The running program's file and its directory, found from the system, not
// from the working directory.
std::string ProgramFile();
std::string ProgramDirectory();

}  // namespace zorvex
