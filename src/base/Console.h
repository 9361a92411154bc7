#pragma once

#include <string>
#include <vector>

namespace zorvex {

// The program's arguments after its name, as UTF-8. On Windows `argv` holds
// them in the ANSI code page, which loses every character outside it (a
// Cyrillic file name under a Western code page), so they are taken from the
// wide command line instead; elsewhere `argv` is already UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char* argv[]);

// Standard output and error pass the program's bytes on unchanged: on Windows
// the console is told they are UTF-8 and the streams stop turning "\n" into
// "\r\n" (a CSV line's "\r\n" would become "\r\r\n"). Nothing elsewhere.
void PrepareStandardStreams();

}  // namespace zorvex
