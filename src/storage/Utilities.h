#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

// ---- text

// Without leading and trailing characters of code 0..32.
std::string TrimBlanks(std::string_view text);
// The texts with `separator` between neighbours; `count` receives their number.
std::string JoinTexts(const std::vector<std::string>& texts, std::string_view separator, int* count = nullptr);
// The first occurrence of `search` replaced (case-sensitive).
std::string ReplaceFirst(std::string_view text, std::string_view search, std::string_view replacement);

// ---- files

// An operating-system file handle for output; closed when it goes.
class TOutputFile {
public:
    TOutputFile() = default;
    explicit TOutputFile(std::intptr_t handle) : handle_(handle) {}
    TOutputFile(TOutputFile&& other) noexcept;
    TOutputFile& operator=(TOutputFile&& other) noexcept;
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    bool IsValid() const { return handle_ != kInvalid; }
    std::intptr_t Handle() const { return handle_; }

    static constexpr std::intptr_t kInvalid = -1;

private:
    std::intptr_t handle_ = kInvalid;
};

// Creates the missing directories of the path, then the file (replacing an
// existing one) for reading and writing. `shared` false locks it against
// other writers. Failure gives an invalid handle; nothing is shown.
TOutputFile CreateOutputFile(const std::string& path, bool shared);
// Bytes written, or -1 on failure.
std::int64_t WriteOutput(TOutputFile& file, const void* buffer, std::size_t count);

// True for an existing file that is not a directory.
bool IsExistingFile(const std::string& path);

// The version stamped into the program file at build time, filled into
// `format` with two integer fields ("%d.%d"); a file without a stamp is 1.0.
std::string FileVersionText(const std::string& path, std::string_view format);
// The bytes of a version stamp, as the build places them in the program.
std::vector<unsigned char> MakeVersionStamp(std::uint16_t major, std::uint16_t minor);

// ---- other

// Sorts the index range [first, last] ascending through callbacks: compare
// gives -1, 0 or 1 for the elements at i and j, exchange swaps them. Short
// ranges use exchange passes (stable); longer ones a quicksort with a random
// pivot from the program's generator.
void SortByCallbacks(int first, int last, const std::function<int(int, int)>& compare,
                     const std::function<void(int, int)>& exchange);

struct TSplitSeconds {
    int months = 0, days = 0, hours = 0, minutes = 0, seconds = 0;
    bool operator==(const TSplitSeconds&) const = default;
};
// A month counts 30.4375 days. Takes 64 bits: a running-time counter near its
// top gives more seconds than 32 bits hold.
TSplitSeconds SplitSeconds(std::int64_t total);

}  // namespace zorvex
