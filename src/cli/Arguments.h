// A small command-line parser: long options ("--name", "--name VALUE" or "--name=VALUE") and
// positional arguments, checked against what a command declares. "-h" is "--help".
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrava::cli {

struct OptionDefinition
{
    OptionDefinition(std::string name_, bool takesValue_ = false, std::string valueName_ = {},
                     std::string help_ = {})
        : name(std::move(name_)), takesValue(takesValue_), valueName(std::move(valueName_)),
          help(std::move(help_))
    {
    }

    std::string name; // without the leading "--"
    bool takesValue = false;
    std::string valueName; // for help texts, e.g. "FILE"
    std::string help;
    // An on/off setting: "--name" alone is on, "--name on|off" or "--name=on|off" sets it.
    bool isSwitch = false;
    // Another spelling of the option aliasOf. A spelling without a value of its own stands for
    // aliasOf with aliasValue (e.g. "--plain-names" is "--name-encryption off").
    std::string aliasOf;
    std::string aliasValue;
};

// An on/off setting.
OptionDefinition switchOption(std::string name, std::string help);
// A spelling kept for an option renamed to canonical; with a value it sets canonical to it.
OptionDefinition aliasOption(std::string name, std::string canonical, std::string value = {});

struct ParsedArguments
{
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;

    bool has(const std::string& name) const { return flags.count(name) != 0 || values.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
    // A switch's setting; nothing when it was not given.
    std::optional<bool> switchValue(const std::string& name) const;
};

// Parses args against definitions. Unknown options, missing values and contradicting spellings of
// one option fail with a message; aliases are stored under the option they stand for.
bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionDefinition>& definitions,
                    ParsedArguments& parsed, std::string& error);

std::string describeOptions(const std::vector<OptionDefinition>& definitions);

} // namespace kestrava::cli
