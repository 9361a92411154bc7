#pragma once

#include <memory>
#include <optional>
#include <string>

namespace zorvex {

enum class MessageIcon { None, Information, Warning, Error, Question };

// Everything the program asks or tells the user in a box goes through this
// seam: the windowed program installs Qt boxes, the command-line tool a
// console, tests a scripted fake. Core code never opens a box itself.
class IUserPrompts {
public:
    virtual ~IUserPrompts() = default;

    // A notice with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool Confirm(const std::string& text, const std::string& caption) = 0;
    // A one-line input box; nullopt when cancelled.
    virtual std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                                 const std::string& initial) = 0;
    // File dialogs starting in `directory` (empty: the platform's choice; a
    // path ending in a file name starts in its directory with that name
    // offered); `filter` is "Описание (*.ext)"; nullopt when cancelled.
    virtual std::optional<std::string> OpenFileName(const std::string& title, const std::string& filter,
                                                    const std::string& directory) = 0;
    virtual std::optional<std::string> SaveFileName(const std::string& title, const std::string& filter,
                                                    const std::string& defaultExtension,
                                                    const std::string& directory) = 0;
    virtual void Beep() = 0;
    // Opens a document with the application the desktop registers for it;
    // false when that failed.
    virtual bool OpenWithRegisteredApp(const std::string& path) = 0;
};

// The program-wide instance. Until one is installed, a silent one answers:
// notices are dropped, questions answered No, dialogs cancelled.
IUserPrompts& Prompts();

// Installs `prompts` for as long as the returned guard lives and restores the
// previous instance afterwards.
class PromptsScope {
public:
    explicit PromptsScope(std::shared_ptr<IUserPrompts> prompts);
    ~PromptsScope();
    PromptsScope(const PromptsScope&) = delete;
    PromptsScope& operator=(const PromptsScope&) = delete;

private:
    std::shared_ptr<IUserPrompts> previous_;
};

// Installs `prompts` for the rest of the run.
void InstallPrompts(std::shared_ptr<IUserPrompts> prompts);

// Prompts with no one to ask, as the program-wide instance is until one is
// installed: for work that runs where no box may open (a check, a tool).
std::shared_ptr<IUserPrompts> MakeSilentPrompts();

}  // namespace zorvex
