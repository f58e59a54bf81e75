#include "cli/Cli.h"

#include "cli/PasswordInput.h"
#include "cli/commands/Commands.h"
#include "core/Version.h"
#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/app/SystemInfo.h"
#include "core/host/SystemHost.h"
#include "core/settings/Paths.h"

#include <algorithm>
#include <ostream>

namespace kestrava::cli {

const std::vector<OptionDefinition>& globalOptionDefinitions()
{
    static const std::vector<OptionDefinition> definitions = {
        {"help", false, "", "show help for the tool or a command (also -h, or 'help [COMMAND]')"},
        {"version", false, "", "print the program's version"},
        {"verbose", false, "", "also print the activity log's lines on standard error"},
        {"password-stdin", false, "", "read passwords from standard input, one line per password asked"},
        {"yes", false, "", "answer Yes (or OK) to every question"},
        {"config", true, "FILE",
         "use this settings file for this run (the registry is neither read nor written)"},
        {"mount-root", true, "DIR",
         "mount drives under DIR (default $KESTRAVA_MOUNT_ROOT, else ~/KestravaDrives)"},
        {"login-stdin", false, "",
         "read the program lock's login password and code from standard input, one line per entry asked"},
        {"legacy-codepage", true, "CP",
         "the Windows code page passwords of drives made there were typed in (default 1252, or the "
         "LegacyCodePage setting)"},
    };
    return definitions;
}

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(makeInitCommand());
    commands.push_back(makeInfoCommand());
    commands.push_back(makeVerifyCommand());
    commands.push_back(makeCheckCommand());
    commands.push_back(makePasswdCommand());
    commands.push_back(makeCreateCommand());
    commands.push_back(makeListCommand());
    commands.push_back(makeMountCommand());
    commands.push_back(makeUnmountCommand());
    commands.push_back(makeDeleteCommand());
    commands.push_back(makeBackupTokenCommand());
    commands.push_back(makeConvertCommand());
    commands.push_back(makeEditCommand());
    commands.push_back(makeRecoverCommand());
    commands.push_back(makeCloudsCommand());
    commands.push_back(makeLettersCommand());
    commands.push_back(makeWhereCommand());
    commands.push_back(makeServeCommand());
    commands.push_back(makeLoginPasswordCommand());
    commands.push_back(makeTotpCommand());
    commands.push_back(makeFuseCommand());
    commands.push_back(makeSettingsCommand());
    commands.push_back(makeUpdateCommand());
    return commands;
}

namespace {

void printToolHelp(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands)
{
    out << "Usage: kestrava-cli [global options] COMMAND [arguments]\n\n"
        << kToolDescription << "\n\nCommands:\n";
    for (const auto& command : commands) {
        if (command->summary().empty()) {
            continue; // internal commands (serve) are not listed
        }
        std::string name = "  " + command->name();
        name.resize(std::max<std::size_t>(name.size() + 2, 14), ' ');
        out << name << command->summary() << "\n";
    }
    out << "\nGlobal options:\n"
        << describeOptions(globalOptionDefinitions())
        << "\nRun 'kestrava-cli help COMMAND' for a command's arguments.\n"
        << "Exit codes: " << kExitCodeDescription << ".\n";
}

void printCommandHelp(std::ostream& out, const Command& command)
{
    out << "Usage: kestrava-cli " << command.usage() << "\n\n" << command.summary() << "\n";
    const auto options = command.options();
    if (!options.empty()) {
        out << "\nOptions:\n" << describeOptions(options);
    }
    out << "\nGlobal options:\n" << describeOptions(globalOptionDefinitions());
}

const Command* findCommand(const std::vector<std::unique_ptr<Command>>& commands, const std::string& name)
{
    const auto it =
        std::find_if(commands.begin(), commands.end(), [&](const auto& c) { return c->name() == name; });
    return it == commands.end() ? nullptr : it->get();
}

// "help" and "help COMMAND": the help texts --help prints.
int runHelp(Io& io, const std::vector<std::unique_ptr<Command>>& commands,
            const std::vector<std::string>& topics)
{
    if (topics.empty()) {
        printToolHelp(io.out, commands);
        return static_cast<int>(ExitCode::Success);
    }
    const Command* command = topics.size() == 1 ? findCommand(commands, topics.front()) : nullptr;
    if (command == nullptr) {
        return static_cast<int>(usageError(io, topics.size() == 1
                                                   ? "help: unknown command '" + topics.front() + "'"
                                                   : "help: name one command"));
    }
    printCommandHelp(io.out, *command);
    return static_cast<int>(ExitCode::Success);
}

} // namespace

ExitCode fail(Io& io, const std::string& message)
{
    // A failure is one line, even for message texts written for a dialog box.
    std::string line = message;
    for (char& c : line) {
        if (c == '\n') {
            c = ' ';
        }
    }
    io.err << "kestrava-cli: " << line << "\n";
    return ExitCode::Failure;
}

ExitCode usageError(Io& io, const std::string& message)
{
    io.err << "kestrava-cli: " << message << "\nTry 'kestrava-cli --help'.\n";
    return ExitCode::Usage;
}

HostFactory systemHostFactory()
{
    return [](const GlobalOptions& globals) -> std::shared_ptr<host::DriveHost> {
        return host::makeSystemHost(paths::mountRoot(globals.mountRoot));
    };
}

int runCli(const std::vector<std::string>& args, Io& io)
{
    return runCli(args, io, systemHostFactory());
}

int runCli(const std::vector<std::string>& args, Io& io, HostFactory makeHost)
{
    const auto commands = allCommands();
    const auto isCommandName = [&](const std::string& arg) {
        return std::any_of(commands.begin(), commands.end(), [&](const auto& c) { return c->name() == arg; });
    };
    // The first argument that names a command splits global options from the command's own.
    const auto split = std::find_if(args.begin(), args.end(), isCommandName);
    const std::vector<std::string> before(args.begin(), split);

    ParsedArguments globalArgs;
    std::string error;
    if (!parseArguments(before, globalOptionDefinitions(), globalArgs, error)) {
        return static_cast<int>(usageError(io, error));
    }
    if (globalArgs.has("version")) {
        io.out << "kestrava-cli " << kProgramVersion << "\n";
        return static_cast<int>(ExitCode::Success);
    }
    if (!globalArgs.positional.empty() && globalArgs.positional.front() == "help") {
        // "help" before anything else; "help list" splits at "list", so the topic follows.
        std::vector<std::string> topics(globalArgs.positional.begin() + 1, globalArgs.positional.end());
        topics.insert(topics.end(), split, args.end());
        return runHelp(io, commands, topics);
    }
    if (split == args.end()) {
        if (globalArgs.has("help") || args.empty()) {
            printToolHelp(io.out, commands);
            return static_cast<int>(args.empty() ? ExitCode::Usage : ExitCode::Success);
        }
        const std::string unknown =
            globalArgs.positional.empty() ? args.front() : globalArgs.positional.front();
        return static_cast<int>(usageError(io, "unknown command '" + unknown + "'"));
    }
    if (!globalArgs.positional.empty()) {
        return static_cast<int>(
            usageError(io, "unexpected argument '" + globalArgs.positional.front() + "'"));
    }
    Command& command =
        **std::find_if(commands.begin(), commands.end(), [&](const auto& c) { return c->name() == *split; });

    // Global options are accepted after the command name too.
    std::vector<OptionDefinition> definitions = command.options();
    definitions.insert(definitions.end(), globalOptionDefinitions().begin(), globalOptionDefinitions().end());
    ParsedArguments commandArgs;
    if (!parseArguments(std::vector<std::string>(split + 1, args.end()), definitions, commandArgs, error)) {
        return static_cast<int>(usageError(io, command.name() + ": " + error));
    }
    if (globalArgs.has("help") || commandArgs.has("help")) {
        printCommandHelp(io.out, command);
        return 0;
    }
    if (commandArgs.has("version")) {
        io.out << "kestrava-cli " << kProgramVersion << "\n";
        return static_cast<int>(ExitCode::Success);
    }
    GlobalOptions globals;
    globals.verbose = globalArgs.has("verbose") || commandArgs.has("verbose");
    globals.passwordStdin = globalArgs.has("password-stdin") || commandArgs.has("password-stdin");
    globals.assumeYes = globalArgs.has("yes") || commandArgs.has("yes");
    for (const char* name : {"config", "mount-root"}) {
        auto value = commandArgs.value(name);
        if (!value) {
            value = globalArgs.value(name);
        }
        if (value && value->empty()) {
            return static_cast<int>(usageError(io, std::string("--") + name + " needs a non-empty value"));
        }
        if (value) {
            (std::string_view(name) == "config" ? globals.configFile : globals.mountRoot) = *value;
        }
    }
    globals.loginStdin = globalArgs.has("login-stdin") || commandArgs.has("login-stdin");
    auto codePage = commandArgs.value("legacy-codepage");
    if (!codePage) {
        codePage = globalArgs.value("legacy-codepage");
    }
    std::optional<std::string> normalizedCodePage;
    if (codePage) {
        normalizedCodePage = normalizeCodePage(*codePage);
        if (!normalizedCodePage) {
            return static_cast<int>(usageError(io, "--legacy-codepage: '" + *codePage +
                                                       "' is not a code page this system converts to"));
        }
    }
    // Each run starts from its own choice; the settings value comes with the settings file.
    setLegacyCodePageOverride(normalizedCodePage.value_or(""));
    setLegacyCodePageSetting("");
    applog::setLogEcho(globals.verbose);
    // Every command and every serving process is a start of its own; the machine description
    // goes to the log only when asked for, or the log would repeat it for each call.
    if (globals.verbose) {
        sysinfo::writeSystemInfo({}, std::nullopt);
    }

    PasswordInput passwords(io, globals.passwordStdin);
    CommandContext context{io, globals, passwords, std::move(makeHost)};
    return static_cast<int>(command.run(context, commandArgs));
}

} // namespace kestrava::cli
