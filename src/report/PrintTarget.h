#pragma once

class QPrinter;

namespace zorvex::report {

// The print dialog's "print to file" hands Qt a file name that Qt truncates as
// soon as painting starts. Raises Exception when that file is the main
// database, a directory or a device, and then clears the printer's file name,
// so that nothing is written there; call it before painting.
void CheckPrintTarget(QPrinter& target);

}  // namespace zorvex::report
