#pragma once

#include <gtest/gtest.h>

#include <string>

// For a test of what only a POSIX system has (FIFOs, a per-process file size
// limit, /dev/full, any byte but '/' in a name): skipped on Windows, saying why.
#ifdef _WIN32
#define ZORVEX_POSIX_ONLY(why) GTEST_SKIP() << "POSIX only: " << (why)
#else
#define ZORVEX_POSIX_ONLY(why) static_cast<void>(why)
#endif

// For a test of a protocol printed to PDF: the tool of a build without Qt
// prints none, and says so in its help.
#ifdef ZORVEX_CLI_PDF
#define ZORVEX_NEEDS_CLI_PDF() static_cast<void>(0)
#else
#define ZORVEX_NEEDS_CLI_PDF() GTEST_SKIP() << "zorvex-cli of this build prints no PDF"
#endif

namespace zorvex::test {

// Where the kept memory images of a database in `directory` are, as the tool
// shows them: in the system's own separators.
#ifdef _WIN32
inline constexpr char kSeparator[] = "\\";
#else
inline constexpr char kSeparator[] = "/";
#endif

// A name as a JSON string shows it: every backslash doubled.
inline std::string JsonBackslashes(std::string text) {
    for (std::size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2))
        text.insert(at, 1, '\\');
    return text;
}

}  // namespace zorvex::test
