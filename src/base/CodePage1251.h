#pragma once

#include <string>
#include <string_view>

namespace zorvex {

// Windows code page 1251 is the byte form of every text stored in a database
// file and of the CSV export. The mapping is total in both directions for the
// 256 byte values (the one unassigned byte, 0x98, maps to U+0098), so any byte
// string read from a file converts to UTF-8 and back unchanged.

// Every byte has a character: never fails.
std::string Cp1251ToUtf8(std::string_view bytes);

// Raises EConvertError naming the first character that has no byte in the code
// page, or reporting text that is not valid UTF-8.
std::string Utf8ToCp1251(std::string_view utf8);

// True when every character of `utf8` has a code-page-1251 byte.
bool FitsCp1251(std::string_view utf8);

}  // namespace zorvex
