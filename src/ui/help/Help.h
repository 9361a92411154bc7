#pragma once

#include <QString>
#include <string>

class QWidget;

namespace zorvex {

class THelpWindow;

// The documents the Help menu opens, in the document directory.
inline constexpr const char* kManualChmFile = "zorvex-user-manual.chm";
inline constexpr const char* kNormsChmFile = "sanpin.chm";

// The built-in manual: manual/ in the document directory (doc/ beside the
// program, or <prefix>/share/zorvex/doc once installed); its pictures are in
// images/ beside it.
std::string ManualDirectory();
// True when the built-in manual's contents page is there.
bool ManualAvailable();

// The document directory the Help menu reads: DataLocations' one unless a
// scope below points elsewhere.
std::string DocumentDirectory();

// Points ManualDirectory, or DocumentDirectory, elsewhere while it lives
// (tests, the picture tool).
class ManualDirectoryScope {
public:
    explicit ManualDirectoryScope(std::string directory);
    ~ManualDirectoryScope();
    ManualDirectoryScope(const ManualDirectoryScope&) = delete;
    ManualDirectoryScope& operator=(const ManualDirectoryScope&) = delete;

private:
    std::string previous_;
};
class DocumentDirectoryScope {
public:
    explicit DocumentDirectoryScope(std::string directory);
    ~DocumentDirectoryScope();
    DocumentDirectoryScope(const DocumentDirectoryScope&) = delete;
    DocumentDirectoryScope& operator=(const DocumentDirectoryScope&) = delete;

private:
    std::string previous_;
};

// Opens the built-in manual at `chapter` ("protocols.html#list"). The window
// stays open beside the windows; opened from a modal dialog, it belongs to
// that dialog, so it can be read and used while the dialog waits. Raises
// Exception when the manual is missing.
THelpWindow& ShowHelp(const QString& chapter, QWidget* from);
// The help window now open, or nullptr.
THelpWindow* OpenHelpWindow();

// "Руководство пользователя": the manual document where it exists, else the
// built-in manual at the chapter of `focus`. Raises when neither exists.
void OpenUserManual(QWidget* focus);
// "Нормативные документы": the norms document where it exists, else the
// chapter on the permissible levels with the values in force.
void OpenNormsDocument(QWidget* from);

// F1 in every window of the program opens the manual at the chapter of the
// widget with the focus. Installed once on the application; a second call
// does nothing.
void InstallHelpKey();

}  // namespace zorvex
