#include "cli/Arguments.h"

#include <algorithm>

namespace kestrava::cli {

std::optional<std::string> ParsedArguments::value(const std::string& name) const
{
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
}

bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                    ParsedArguments& parsed, std::string& error)
{
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg.rfind("--", 0) != 0) {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto known =
            std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& o) { return o.name == name; });
        if (known == specs.end()) {
            error = "unknown option --" + name;
            return false;
        }
        if (!known->takesValue) {
            if (inlineValue) {
                error = "option --" + name + " takes no value";
                return false;
            }
            parsed.flags.insert(name);
            continue;
        }
        if (inlineValue) {
            parsed.values[name] = *inlineValue;
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            error = "option --" + name + " needs a value";
            return false;
        }
    }
    return true;
}

std::string describeOptions(const std::vector<OptionSpec>& specs)
{
    std::string text;
    for (const OptionSpec& option : specs) {
        std::string left = "  --" + option.name + (option.takesValue ? " " + option.valueName : "");
        if (left.size() < 26) {
            left.resize(26, ' ');
        } else {
            left += "\n" + std::string(26, ' ');
        }
        text += left + option.help + "\n";
    }
    return text;
}

} // namespace kestrava::cli
