#pragma once

#include "base/Prompts.h"

class QWidget;

namespace zorvex {

// The windowed program's boxes: Qt message boxes, input boxes and file
// dialogs, parented to the active window.
class QtPrompts final : public IUserPrompts {
public:
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
};

}  // namespace zorvex
