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

}  // namespace zorvex
