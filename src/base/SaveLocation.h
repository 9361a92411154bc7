#pragma once

#include <optional>
#include <string>

namespace zorvex {

// Where save dialogs start: the directory the user last saved to in this run
// (while it still exists), else the default the program sets (the directory
// of the database in use). A dialog starting in the program's own directory
// with an empty name makes a lab engineer hunt for the folder and type a name
// every time. Setting the default forgets the directory last saved to: the
// program sets it when it opens its database.
void SetDefaultSaveDirectory(std::string directory);
std::string SaveDirectory();

// Prompts().SaveFileName starting in SaveDirectory() with `suggestedName`
// (made fit by FileNamePart, and `defaultExtension` appended) as the file
// offered; an empty suggestion offers the directory alone. The directory of
// the chosen file becomes the start of the next save dialog.
std::optional<std::string> AskSaveFileName(const std::string& title, const std::string& filter,
                                           const std::string& defaultExtension, const std::string& suggestedName);

// `text` made fit for a file name on every system: characters Windows forbids
// in names (and control characters) become '-', leading blanks and trailing
// dots and blanks go.
std::string FileNamePart(const std::string& text);

}  // namespace zorvex
