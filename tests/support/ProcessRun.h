#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zorvex::test {

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with arguments in `directory`, with no standard input, and
// collects its exit status and both outputs.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& directory);

}  // namespace zorvex::test
