#include "support/ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace zorvex::test {

void ScriptedPrompts::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    shown.push_back({"message", text, caption, icon, {}});
}

bool ScriptedPrompts::Confirm(const std::string& text, const std::string& caption) {
    shown.push_back({"confirm", text, caption, MessageIcon::Question, {}});
    if (confirmAnswers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return false;
    }
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::InputText(const std::string& caption, const std::string& prompt,
                                                      const std::string&) {
    shown.push_back({"input", prompt, caption, MessageIcon::None, {}});
    if (inputAnswers.empty()) {
        ADD_FAILURE() << "unexpected input box: " << prompt;
        return std::nullopt;
    }
    auto answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::OpenFileName(const std::string& title, const std::string&,
                                                         const std::string& directory) {
    shown.push_back({"open", title, {}, MessageIcon::None, directory});
    return NextFileAnswer(title);
}

std::optional<std::string> ScriptedPrompts::NextFileAnswer(const std::string& title) {
    if (fileAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << title;
        return std::nullopt;
    }
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::SaveFileName(const std::string& title, const std::string&,
                                                         const std::string&, const std::string& directory) {
    shown.push_back({"save", title, {}, MessageIcon::None, directory});
    return NextFileAnswer(title);
}

void ScriptedPrompts::Beep() { shown.push_back({"beep", {}, {}, MessageIcon::None, {}}); }

bool ScriptedPrompts::OpenWithRegisteredApp(const std::string& path) {
    shown.push_back({"open-app", path, {}, MessageIcon::None, {}});
    return openAppResult;
}

std::vector<std::string> ScriptedPrompts::Messages() const {
    std::vector<std::string> texts;
    for (const auto& s : shown)
        if (s.kind == "message") texts.push_back(s.text);
    return texts;
}

}  // namespace zorvex::test
