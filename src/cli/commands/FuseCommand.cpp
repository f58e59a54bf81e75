#include "cli/PasswordInput.h"
#include "cli/TerminalPrompter.h"
#include "cli/commands/Commands.h"
#include "core/host/FuseAvailability.h"
#include "core/host/PackageManager.h"
#include "core/host/Process.h"

#include <filesystem>
#include <ostream>

namespace kestrava::cli {
namespace {

const char* managerName(host::PackageManagerKind kind)
{
    switch (kind) {
    case host::PackageManagerKind::Apt:
        return "apt-get";
    case host::PackageManagerKind::Dnf:
        return "dnf";
    case host::PackageManagerKind::Zypper:
        return "zypper";
    case host::PackageManagerKind::Pacman:
        return "pacman";
    }
    return "";
}

// Whether FUSE can serve drives here; exits with Failure when it cannot.
ExitCode printStatus(Io& io)
{
    const std::optional<std::filesystem::path> fusermount = host::findOnPath("fusermount3");
    const std::optional<host::PackageManagerKind> manager = host::detectPackageManager(
        [](const std::string& program) { return host::findOnPath(program).has_value(); });
    const bool usable = host::isFuseUsable();
    io.out << "FUSE: " << (usable ? "usable" : "not usable") << "\n";
    io.out << "/dev/fuse: " << (std::filesystem::exists("/dev/fuse") ? "present" : "missing") << "\n";
    io.out << "fusermount3: " << (fusermount ? fusermount->string() : std::string("not found on PATH"))
           << "\n";
    io.out << "package manager: " << (manager ? managerName(*manager) : "none found") << "\n";
    return usable ? ExitCode::Success : ExitCode::Failure;
}

// Installs or removes FUSE. Without administrator rights, message 121's OK prints the command to
// run as administrator instead of restarting: in a terminal that is one sudo away, and a copy
// started through pkexec would lose this terminal's standard streams.
class FuseCommand : public Command
{
public:
    std::string name() const override { return "fuse"; }
    std::string summary() const override
    {
        return "install or remove FUSE through the system's package manager, or show its status";
    }
    std::string usage() const override { return "fuse install|remove|status"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 1) {
            return usageError(context.io, "fuse: give one of install, remove, status");
        }
        const std::string& action = args.positional.front();
        if (action == "status") {
            return printStatus(context.io);
        }
        if (action != "install" && action != "remove") {
            return usageError(context.io, "fuse: unknown action '" + action + "'");
        }
        TerminalPrompter prompter(context.io, context.passwords, context.globals.assumeYes);
        host::FuseSetupEnvironment environment = host::systemFuseSetup();
        environment.restartElevated = [](host::FuseTask) {
            std::vector<std::string> command{"sudo",
                                             std::filesystem::read_symlink("/proc/self/exe").string()};
            const std::vector<std::string> arguments = host::ownArguments();
            command.insert(command.end(), arguments.begin(), arguments.end());
            return host::ElevationResult{false, host::joinCommand(command)};
        };
        const host::FuseSetupResult result = action == "install" ? host::installFuse(prompter, environment)
                                                                 : host::removeFuse(prompter, environment);
        switch (result) {
        case host::FuseSetupResult::Done:
        case host::FuseSetupResult::NothingToDo:
            return ExitCode::Success;
        default:
            return ExitCode::Failure;
        }
    }
};

} // namespace

std::unique_ptr<Command> makeFuseCommand()
{
    return std::make_unique<FuseCommand>();
}

} // namespace kestrava::cli
