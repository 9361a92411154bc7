#include "base/SaveLocation.h"

#include <filesystem>
#include <system_error>

#include "base/Paths.h"
#include "base/Prompts.h"

namespace zorvex {
namespace {

struct SaveDirectories {
    std::string byDefault;
    std::string lastUsed;
};

SaveDirectories& Directories() {
    static SaveDirectories directories;
    return directories;
}

bool IsDirectory(const std::string& name) {
    std::error_code error;
    return std::filesystem::is_directory(PathFromUtf8(name), error);
}

}  // namespace

void SetDefaultSaveDirectory(std::string directory) {
    Directories() = {std::move(directory), {}};
}

std::string SaveDirectory() {
    const SaveDirectories& d = Directories();
    // A folder saved to earlier may be gone since (a removed stick): the
    // dialog would then open somewhere unrelated.
    return !d.lastUsed.empty() && IsDirectory(d.lastUsed) ? d.lastUsed : d.byDefault;
}

std::optional<std::string> AskSaveFileName(const std::string& title, const std::string& filter,
                                           const std::string& defaultExtension, const std::string& suggestedName) {
    const std::string directory = SaveDirectory();
    std::string start = directory;
    std::string name = FileNamePart(suggestedName);
    if (!name.empty()) {
        if (!defaultExtension.empty()) name += (defaultExtension.starts_with('.') ? "" : ".") + defaultExtension;
        start = directory.empty() ? name : Utf8FromPath(PathFromUtf8(directory) / PathFromUtf8(name));
    }
    auto chosen = Prompts().SaveFileName(title, filter, defaultExtension, start);
    if (chosen) {
        const std::string parent = Utf8FromPath(PathFromUtf8(*chosen).parent_path());
        if (!parent.empty()) Directories().lastUsed = parent;
    }
    return chosen;
}

std::string FileNamePart(const std::string& text) {
    std::string name;
    name.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        const bool forbidden = u < 0x20 || u == 0x7f || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' ||
                               c == '\\' || c == '|' || c == '?' || c == '*';
        name += forbidden ? '-' : c;
    }
    // Windows drops trailing dots and blanks from a name; a leading blank
    // is easily overlooked in the dialog.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    const std::size_t first = name.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : name.substr(first);
}

}  // namespace zorvex
