#pragma once

#include <deque>
#include <ostream>

#include "base/Prompts.h"

namespace zorvex::cli {

// The tool's face for the notices the core shows: they go to stderr. It asks
// nothing interactively: questions are refused (commands that would ask take
// --yes instead), and input boxes take their answers from the command line.
class ConsolePrompts final : public IUserPrompts {
public:
    explicit ConsolePrompts(std::ostream& err) : err_(err) {}

    std::deque<std::string> inputAnswers;

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool Confirm(const std::string& text, const std::string& caption) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override;
    std::optional<std::string> OpenFileName(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}
    bool OpenWithRegisteredApp(const std::string&) override { return false; }

private:
    std::ostream& err_;
};

}  // namespace zorvex::cli
