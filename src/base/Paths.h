#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zorvex {

// File names are UTF-8 std::strings everywhere in the program. These two are
// the only conversions to and from std::filesystem::path: path(std::string)
// and path::string() use the ANSI code page on Windows and would mangle
// Cyrillic folder names there.
std::filesystem::path PathFromUtf8(std::string_view name);
std::string Utf8FromPath(const std::filesystem::path& path);

// Whether `name` is a device of the system rather than a file: on Windows a
// last component CON, PRN, AUX, NUL, COM1..9 or LPT1..9 in any case and with
// any extension ("nul.csv") opens the device in every folder, and the file
// system reports it as missing, so only its name tells. Elsewhere devices are
// files the file system reports as such: always false.
bool NamesSystemDevice(std::string_view name);

}  // namespace zorvex
