#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zorvex::cli {

// A command line the tool cannot take: exit status 2, message on stderr.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionDef {
    std::string name;  // "--format"
    bool takesValue = false;
};

// The options and operands of one command.
class ParsedArgs {
public:
    bool Has(const std::string& option) const { return values_.count(option) > 0; }
    std::optional<std::string> Value(const std::string& option) const;
    const std::vector<std::string>& Operands() const { return operands_; }

    // Integer option within [low, high]; UsageError otherwise.
    std::optional<int> IntValue(const std::string& option, int low, int high) const;

private:
    friend ParsedArgs ParseArgs(const std::vector<std::string>&, const std::vector<OptionDef>&);
    std::map<std::string, std::string> values_;
    std::vector<std::string> operands_;
};

// Accepts "--name value" and "--name=value"; "--" ends the options.
ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionDef>& definitions);

}  // namespace zorvex::cli
