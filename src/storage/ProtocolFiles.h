#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zorvex {

// Where the files of stored protocols are (the rows are in `protocols`, see
// protocol/ProtocolStore.h).

// The protocol directory of the main database: protocols/ beside its file
// (ProtocolDirectoryOf), so each database keeps its own protocol files; the
// layout's former directory for a database without a file; the directory of
// an active ProtocolDirectoryScope before both.
std::string ProtocolDirectory();
// Protocol files go to `directory` while the guard lives (tests, tools);
// files missing there are read from `formerDirectory` when one is given.
class ProtocolDirectoryScope {
public:
    explicit ProtocolDirectoryScope(std::string directory, std::string formerDirectory = {});
    ~ProtocolDirectoryScope();
    ProtocolDirectoryScope(const ProtocolDirectoryScope&) = delete;
    ProtocolDirectoryScope& operator=(const ProtocolDirectoryScope&) = delete;

    struct Directories {
        std::string directory;
        std::string formerDirectory;
    };

private:
    std::unique_ptr<Directories> previous_;
};

// <directory>/<id>.zorvexpro: where the protocol's file is written.
std::string ProtocolFilePath(std::int32_t id);
// <former directory>/<id>.zorvexpro, where an earlier version kept the files
// of every database, when that is not the directory written to now; none
// otherwise (and under a ProtocolDirectoryScope without a former directory).
std::optional<std::string> FormerProtocolFilePath(std::int32_t id);
// The file protocol `id` is read from: ProtocolFilePath when it exists, else
// the former one when that exists; none when it is in neither place.
std::optional<std::string> ProtocolFileToRead(std::int32_t id);

}  // namespace zorvex
