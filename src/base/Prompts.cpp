#include "base/Prompts.h"

namespace zorvex {
namespace {

class SilentPrompts final : public IUserPrompts {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    bool Confirm(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> OpenFileName(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}
    bool OpenWithRegisteredApp(const std::string&) override { return false; }
};

std::shared_ptr<IUserPrompts>& Current() {
    static std::shared_ptr<IUserPrompts> current = MakeSilentPrompts();
    return current;
}

}  // namespace

IUserPrompts& Prompts() { return *Current(); }

void InstallPrompts(std::shared_ptr<IUserPrompts> prompts) {
    if (prompts) Current() = std::move(prompts);
}

PromptsScope::PromptsScope(std::shared_ptr<IUserPrompts> prompts) : previous_(Current()) {
    InstallPrompts(std::move(prompts));
}

PromptsScope::~PromptsScope() { Current() = std::move(previous_); }

std::shared_ptr<IUserPrompts> MakeSilentPrompts() { return std::make_shared<SilentPrompts>(); }

}  // namespace zorvex
