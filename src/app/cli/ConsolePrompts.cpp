#include "app/cli/ConsolePrompts.h"

#include "app/cli/CliOutput.h"

namespace zorvex::cli {

void ConsolePrompts::ShowMessage(const std::string& text, const std::string&, MessageIcon) {
    err_ << PrintableText(text, true) << "\n";
}

bool ConsolePrompts::Confirm(const std::string&, const std::string&) { return false; }

std::optional<std::string> ConsolePrompts::InputText(const std::string&, const std::string&,
                                                     const std::string& initial) {
    if (inputAnswers.empty()) return initial;
    std::string answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

}  // namespace zorvex::cli
