#include "app/cli/CliArgs.h"

#include "base/Numbers.h"

namespace zorvex::cli {

std::optional<std::string> ParsedArgs::Value(const std::string& option) const {
    const auto it = values_.find(option);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<int> ParsedArgs::IntValue(const std::string& option, int low, int high) const {
    const auto text = Value(option);
    if (!text) return std::nullopt;
    const auto value = TryStrToInt(*text);
    if (!value || *value < low || *value > high) {
        throw UsageError("значение " + option + " должно быть целым числом от " + std::to_string(low) + " до " +
                         std::to_string(high) + ": «" + *text + "»");
    }
    return *value;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionDef>& definitions) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            parsed.operands_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const OptionDef* definition = nullptr;
        for (const auto& s : definitions)
            if (s.name == name) definition = &s;
        if (!definition) throw UsageError("неизвестный параметр " + name);
        if (parsed.values_.count(name)) throw UsageError("параметр " + name + " указан дважды");
        if (!definition->takesValue) {
            if (eq != std::string::npos) throw UsageError("параметр " + name + " не принимает значения");
            parsed.values_[name] = "";
        } else if (eq != std::string::npos) {
            parsed.values_[name] = arg.substr(eq + 1);
        } else {
            if (i + 1 >= args.size()) throw UsageError("для параметра " + name + " нужно значение");
            parsed.values_[name] = args[++i];
        }
    }
    return parsed;
}

}  // namespace zorvex::cli
