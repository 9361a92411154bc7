#pragma once

#include <optional>
#include <string>

namespace zorvex {

// Where save dialogs start: the directory the user last saved to in this run,
// else the default the program sets (the directory of the database in use).
// A dialog starting in the program's own directory with an empty name makes a
// lab engineer hunt for the folder and type a name every time.
void SetDefaultSaveDirectory(std::string directory);
std::string SaveDirectory();

// Prompts().SaveFileName starting in SaveDirectory() with `suggestedName`
// (a bare file name, may be empty) filled in; the directory of the chosen
// file becomes the start of the next save dialog.
std::optional<std::string> AskSaveFileName(const std::string& title, const std::string& filter,
                                           const std::string& defaultExtension, const std::string& suggestedName);

// `text` made fit for a file name on every system: characters Windows forbids
// in names (and control characters) become '-', trailing dots and blanks go.
std::string FileNamePart(const std::string& text);

}  // namespace zorvex
