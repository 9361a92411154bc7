#pragma once

#include <string>
#include <string_view>

namespace zorvex {

// Raises Exception when `path` cannot name a file: empty, or naming a
// directory (an existing one, or a path ending in a separator, "." or "..").
// SQLite opens an empty name as a private temporary database and a removal
// of a directory name deletes an empty directory, so both are refused early.
void CheckFilePath(const std::string& path);

// Who writes a file. A user's output (a save, an export, a PDF) must never
// replace a file the program keeps beside its main database: a protocol's
// file in protocols/ or a download's memory image in downloads/. Only the
// stores that own those files write them, as KeptFileStore.
enum class TWriter { UserOutput, KeptFileStore };

// CheckFilePath, then refuses the file of the main database (by file
// identity), for a UserOutput a file the program keeps (a protocol file in the
// protocols directory of the main database or of the program's layout, named
// <anything>.zorvexpro whether it exists yet or not; an existing memory image
// downloads/*.bin beside the main database; by file identity, so another
// spelling, a symbolic or a hard link is refused too), and an existing target
// that is not a regular file (a device or a FIFO would be replaced or would
// block).
void CheckOutputPath(const std::string& path, TWriter writer = TWriter::UserOutput);

// A file written completely or not at all: bytes go to a new file beside the
// target, and Commit() checks the close, then renames it over the target. An
// existing target stays untouched until then; without a Commit() the new file
// is removed. Every failure raises Exception "Не удалось записать файл «…»".
class TReplacementFile {
public:
    // Checks the target with CheckOutputPath and creates its missing directories.
    explicit TReplacementFile(std::string target, TWriter writer = TWriter::UserOutput);
    ~TReplacementFile();
    TReplacementFile(const TReplacementFile&) = delete;
    TReplacementFile& operator=(const TReplacementFile&) = delete;

    // The new file's path, for writers that open it by name (SQLite).
    const std::string& TempPath() const { return tempPath_; }
    const std::string& Target() const { return target_; }

    void Write(std::string_view bytes);
    void Commit();

private:
    [[noreturn]] void Fail(int error);
    void CloseHandle(bool flush);

    std::string target_;
    TWriter writer_;
    std::string tempPath_;
    long long handle_ = -1;
    bool committed_ = false;
};

// The whole of `bytes` as the new content of `path`, through TReplacementFile.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

}  // namespace zorvex
