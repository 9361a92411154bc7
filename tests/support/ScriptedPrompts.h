#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/Prompts.h"

namespace zorvex::test {

// Records every box the code under test shows and answers from queues. A
// question or input with nothing queued fails the test instead of guessing.
class ScriptedPrompts final : public IUserPrompts {
public:
    struct Shown {
        std::string kind;  // "message", "confirm", "input", "open", "save", "beep", "open-app"
        std::string text;
        std::string caption;
        MessageIcon icon = MessageIcon::None;
        std::string directory;  // where a file dialog started (a directory, or the file it offered)
    };

    std::vector<Shown> shown;
    std::deque<bool> confirmAnswers;
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    bool openAppResult = true;

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool Confirm(const std::string& text, const std::string& caption) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override;
    std::optional<std::string> OpenFileName(const std::string& title, const std::string& filter,
                                            const std::string& directory) override;
    std::optional<std::string> SaveFileName(const std::string& title, const std::string& filter,
                                            const std::string& defaultExtension,
                                            const std::string& directory) override;
    void Beep() override;
    bool OpenWithRegisteredApp(const std::string& path) override;

    // Texts of the notices shown so far.
    std::vector<std::string> Messages() const;

private:
    std::optional<std::string> NextFileAnswer(const std::string& title);
};

}  // namespace zorvex::test
