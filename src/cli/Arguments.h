// A small command-line parser: long options ("--name", "--name VALUE" or "--name=VALUE") and
// positional arguments, checked against what a command declares.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrava::cli {

struct OptionSpec
{
    std::string name; // without the leading "--"
    bool takesValue = false;
    std::string valueName; // for help texts, e.g. "FILE"
    std::string help;
};

struct ParsedArguments
{
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;

    bool has(const std::string& name) const { return flags.count(name) != 0 || values.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
};

// Parses args against specs. Unknown options and missing values fail with a message.
bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                    ParsedArguments& parsed, std::string& error);

std::string describeOptions(const std::vector<OptionSpec>& specs);

} // namespace kestrava::cli
