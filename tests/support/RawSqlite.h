#pragma once

#include <string>
#include <vector>

namespace zorvex::test {

// Direct SQLite access beside the program's layer, to see exactly what a file
// holds. Each row's cells are given as SQLite's text of the value (no
// conversion); NULL as "<null>".
std::vector<std::vector<std::string>> RawRows(const std::string& file, const std::string& sql);
// Runs statements directly (several separated by ";").
void RawExec(const std::string& file, const std::string& sql);

}  // namespace zorvex::test
