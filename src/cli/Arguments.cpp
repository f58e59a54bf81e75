#include "cli/Arguments.h"

#include <algorithm>

namespace kestrava::cli {
namespace {

constexpr std::size_t kHelpColumn = 26;

bool isSwitchWord(const std::string& text)
{
    return text == "on" || text == "off";
}

const OptionDefinition* findOption(const std::vector<OptionDefinition>& definitions, const std::string& name)
{
    const auto it = std::find_if(definitions.begin(), definitions.end(),
                                 [&](const OptionDefinition& o) { return o.name == name; });
    return it == definitions.end() ? nullptr : &*it;
}

// Stores a value, refusing a second spelling that says otherwise ("--plain-names
// --name-encryption on").
bool store(ParsedArguments& parsed, const std::string& name, const std::string& value,
           const std::string& spelled, std::string& error)
{
    const auto it = parsed.values.find(name);
    if (it != parsed.values.end() && it->second != value) {
        error = "--" + spelled + " contradicts an earlier --" + name + " " + it->second;
        return false;
    }
    parsed.values[name] = value;
    return true;
}

} // namespace

OptionDefinition switchOption(std::string name, std::string help)
{
    OptionDefinition definition{std::move(name), false, "[on|off]", std::move(help)};
    definition.isSwitch = true;
    return definition;
}

OptionDefinition aliasOption(std::string name, std::string canonical, std::string value)
{
    OptionDefinition definition{std::move(name), false, "", ""};
    definition.aliasOf = std::move(canonical);
    definition.aliasValue = std::move(value);
    return definition;
}

std::optional<std::string> ParsedArguments::value(const std::string& name) const
{
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::optional<bool> ParsedArguments::switchValue(const std::string& name) const
{
    const auto text = value(name);
    return text ? std::optional<bool>(*text == "on") : std::nullopt;
}

bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionDefinition>& definitions,
                    ParsedArguments& parsed, std::string& error)
{
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!onlyPositional && arg == "-h" && findOption(definitions, "help") != nullptr) {
            arg = "--help";
        }
        if (onlyPositional || arg.size() < 2 || arg.rfind("--", 0) != 0) {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        const std::string spelled =
            arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
        }
        const OptionDefinition* definition = findOption(definitions, spelled);
        if (definition == nullptr) {
            error = "unknown option --" + spelled;
            return false;
        }
        const OptionDefinition* target =
            definition->aliasOf.empty() ? definition : findOption(definitions, definition->aliasOf);
        if (target == nullptr) {
            error = "unknown option --" + definition->aliasOf;
            return false;
        }
        const std::string& name = target->name;
        if (!definition->aliasOf.empty() && !definition->aliasValue.empty()) {
            if (inlineValue) {
                error = "option --" + spelled + " takes no value";
                return false;
            }
            if (!store(parsed, name, definition->aliasValue, spelled, error)) {
                return false;
            }
            continue;
        }
        if (target->isSwitch) {
            std::string setting = "on";
            if (inlineValue) {
                setting = *inlineValue;
            } else if (i + 1 < args.size() && isSwitchWord(args[i + 1])) {
                setting = args[++i];
            }
            if (!isSwitchWord(setting)) {
                error = "option --" + spelled + " takes on or off";
                return false;
            }
            if (!store(parsed, name, setting, spelled, error)) {
                return false;
            }
            continue;
        }
        if (!target->takesValue) {
            if (inlineValue) {
                error = "option --" + spelled + " takes no value";
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
            error = "option --" + spelled + " needs a value";
            return false;
        }
    }
    return true;
}

std::string describeOptions(const std::vector<OptionDefinition>& definitions)
{
    std::string text;
    for (const OptionDefinition& option : definitions) {
        std::string left = "  --" + option.name;
        std::string help = option.help;
        if (!option.aliasOf.empty()) {
            help = "same as --" + option.aliasOf + (option.aliasValue.empty() ? "" : " " + option.aliasValue);
        } else if (option.takesValue || option.isSwitch) {
            left += " " + option.valueName;
        }
        if (left.size() < kHelpColumn) {
            left.resize(kHelpColumn, ' ');
        } else {
            left += "\n" + std::string(kHelpColumn, ' ');
        }
        text += left + help + "\n";
    }
    return text;
}

} // namespace kestrava::cli
