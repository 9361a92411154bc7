#include "storage/ProtocolFiles.h"

#include <filesystem>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"

namespace zorvex {
namespace fs = std::filesystem;
namespace {

std::unique_ptr<ProtocolDirectoryScope::Directories>& DirectoryOverride() {
    static std::unique_ptr<ProtocolDirectoryScope::Directories> directories;
    return directories;
}

}  // namespace

std::string ProtocolDirectory() {
    if (const auto& scope = DirectoryOverride()) return scope->directory;
    if (HasMainDatabase()) {
        const std::string database = MainDatabase().FileName();
        if (!database.empty()) return ProtocolDirectoryOf(database);
    }
    EnsureDataDirectory();  // protocols/ is made on the first store; its parent must be private
    return DataLocations().formerProtocolDirectory;
}

ProtocolDirectoryScope::ProtocolDirectoryScope(std::string directory, std::string formerDirectory)
    : previous_(std::move(DirectoryOverride())) {
    DirectoryOverride() = std::make_unique<Directories>(Directories{std::move(directory), std::move(formerDirectory)});
}

ProtocolDirectoryScope::~ProtocolDirectoryScope() {
    DirectoryOverride() = std::move(previous_);
}

std::string ProtocolFilePath(std::int32_t id) {
    return Utf8FromPath(PathFromUtf8(ProtocolDirectory()) / (IntToStr(id) + kProtocolFileExtension));
}

// The file of `id` in the layout's former protocol directory, when that is
// not the directory files are written to now.
std::optional<std::string> FormerProtocolFilePath(std::int32_t id) {
    const auto& scope = DirectoryOverride();
    if (scope && scope->formerDirectory.empty()) return std::nullopt;
    const fs::path current = PathFromUtf8(ProtocolDirectory());
    fs::path former;
    try {
        former = PathFromUtf8(scope ? scope->formerDirectory : DataLocations().formerProtocolDirectory);
    } catch (const Exception&) {
        return std::nullopt;  // no layout (an installed program without HOME): no former directory
    }
    std::error_code ec;
    if (fs::equivalent(current, former, ec) || current.lexically_normal() == former.lexically_normal())
        return std::nullopt;
    return Utf8FromPath(former / (IntToStr(id) + kProtocolFileExtension));
}

std::optional<std::string> ProtocolFileToRead(std::int32_t id) {
    const std::string path = ProtocolFilePath(id);
    if (IsExistingFile(path)) return path;
    if (const auto former = FormerProtocolFilePath(id); former && IsExistingFile(*former)) return former;
    return std::nullopt;
}

}  // namespace zorvex
