// What every kestrava-cli command provides, and what it gets to run.
#pragma once

#include "cli/Arguments.h"
#include "cli/ExitCode.h"
#include "core/settings/SavedPasswords.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::host {
class DriveHost;
}

namespace kestrava::cli {

class PasswordInput;
struct GlobalOptions;

// Makes the drive host a command mounts through (the system's FUSE host; tests pass a fake).
using HostFactory = std::function<std::shared_ptr<host::DriveHost>(const GlobalOptions&)>;

// The streams a command talks through; tests pass string streams.
struct Io
{
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Whether questions and passwords may be asked on the controlling terminal.
    bool interactive = false;
};

struct GlobalOptions
{
    bool verbose = false;
    bool passwordStdin = false;
    bool assumeYes = false;                          // --yes: every question answered Yes/OK
    std::optional<std::filesystem::path> configFile; // --config: this run's settings file
    std::optional<std::filesystem::path> mountRoot;  // --mount-root
    bool loginStdin = false;                         // the program lock's entries from standard input
};

struct CommandContext
{
    Io& io;
    const GlobalOptions& globals;
    PasswordInput& passwords;
    HostFactory makeHost = {}; // empty: this build cannot mount drives
    // Left by the program lock: whether the login password and the code were in force.
    LoginLayerState loginSession = {};
};

class Command
{
public:
    virtual ~Command() = default;
    virtual std::string name() const = 0;
    virtual std::string summary() const = 0;
    virtual std::string usage() const = 0; // the synopsis after "kestrava-cli "
    virtual std::vector<OptionDefinition> options() const { return {}; }
    virtual ExitCode run(CommandContext& context, const ParsedArguments& args) = 0;
};

// Writes "kestrava-cli: <message>" as the one line of a failure and returns Failure.
ExitCode fail(Io& io, const std::string& message);
ExitCode usageError(Io& io, const std::string& message);

} // namespace kestrava::cli
