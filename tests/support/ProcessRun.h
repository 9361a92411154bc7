#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zorvex::test {

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct ProcessLimits {
    // The largest file the program may write, in bytes (RLIMIT_FSIZE, with
    // SIGXFSZ ignored): writes past it fail with EFBIG, as on a full disk.
    std::optional<std::uint64_t> fileSizeLimit;
    // Killed when still running after this long; zero waits for good.
    std::chrono::milliseconds timeout{0};
};

// Runs a program with arguments in `directory`, with no standard input, and
// collects its exit status and both outputs.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& directory, const ProcessLimits& limits = {});

}  // namespace zorvex::test
