#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/Paths.h"

namespace zorvex::test {

// A fresh directory removed with everything in it when the object goes. The
// working directory is restored too, since opening a database moves it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // `name` is UTF-8 and may hold separators ("sub/x.db").
    std::string File(const std::string& name) const { return Utf8FromPath(path_ / PathFromUtf8(name)); }

private:
    std::filesystem::path path_;
    std::filesystem::path previousCwd_;
};

// Reads a whole file as bytes.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// The names in `directory` as UTF-8 bytes, sorted by bytes; none when it is missing.
std::vector<std::string> NamesIn(const std::filesystem::path& directory);
// `names` in the order NamesIn gives them.
std::vector<std::string> Sorted(std::vector<std::string> names);

}  // namespace zorvex::test
