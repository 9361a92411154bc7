#include "base/SaveLocation.h"

#include <filesystem>

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

}  // namespace

void SetDefaultSaveDirectory(std::string directory) { Directories().byDefault = std::move(directory); }

std::string SaveDirectory() {
    const SaveDirectories& d = Directories();
    return d.lastUsed.empty() ? d.byDefault : d.lastUsed;
}

std::optional<std::string> AskSaveFileName(const std::string& title, const std::string& filter,
                                           const std::string& defaultExtension, const std::string& suggestedName) {
    const std::string directory = SaveDirectory();
    std::string start = directory;
    if (!suggestedName.empty())
        start = directory.empty() ? suggestedName : Utf8FromPath(PathFromUtf8(directory) / PathFromUtf8(suggestedName));
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
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name;
}

}  // namespace zorvex
