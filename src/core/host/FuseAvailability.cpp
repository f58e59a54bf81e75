#include "core/host/FuseAvailability.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace kestrava::host {
namespace {

constexpr int kMsgNotInstalled = 93;         // "Error! FUSE is not installed!"
constexpr int kMsgNeedsAdmin = 121;          // "...needs root permission... continue as root?"
constexpr int kMsgNotInstalledWarn = 122;    // "FUSE is not installed."
constexpr int kMsgUninstalled = 124;         // "FUSE successfully removed..."
constexpr int kMsgUninstallFailed = 125;     // "Error!  There was a problem removing ...\n%s"
constexpr int kMsgNoPackageManager = 1270;   // no apt-get, dnf, zypper or pacman; package %s
constexpr int kMsgRunAsAdmin = 1271;         // "Run this command as root:\n%s"
constexpr int kMsgInstallFailed = 1272;      // "Error! FUSE could not be installed:\n%s"
constexpr int kMsgPlanNotUnderstood = 1273;  // removal of %s not understood; output %s
constexpr int kMsgRemovalTakesOthers = 1274; // removing %s would also remove or break: %s

// The end of a program's output is where it says what went wrong; a box holds a few lines.
std::string outputTail(const std::string& output)
{
    constexpr std::size_t kMaxShown = 600;
    std::string text = output;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.size() <= kMaxShown ? text : "..." + text.substr(text.size() - kMaxShown);
}

std::string namesList(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// Message 121 and what its OK leads to.
FuseSetupResult askForAdministrator(Prompter& prompter, const FuseSetupEnvironment& environment,
                                    FuseTask task)
{
    if (prompter.messageBox(kMsgNeedsAdmin, {}, Buttons::OKCancel, Icon::Warning) != Button::OK) {
        return FuseSetupResult::Declined;
    }
    const ElevationResult elevation =
        environment.restartElevated ? environment.restartElevated(task) : ElevationResult{};
    if (elevation.restarted) {
        return FuseSetupResult::Restarted;
    }
    prompter.messageBox(kMsgRunAsAdmin, {elevation.commandToShow}, Buttons::OK, Icon::Information);
    return FuseSetupResult::CommandShown;
}

// What the simulated removal says; a refusal has been shown when the result is not Done.
FuseSetupResult checkRemovalPlan(Prompter& prompter, const FuseSetupEnvironment& environment,
                                 PackageManagerKind kind)
{
    const std::vector<std::string> command = simulatedRemoveCommand(kind, kFusePackage);
    const RunResult result = environment.run(command);
    RemovalPlan plan = parseRemovalPlan(kind, result.output, result.exitCode);
    const bool namesFuse =
        std::find(plan.removed.begin(), plan.removed.end(), kFusePackage) != plan.removed.end();
    if (!result.started ||
        (plan.status == RemovalPlanStatus::Understood && !namesFuse && plan.broken.empty())) {
        plan.status = RemovalPlanStatus::Unknown;
    }
    switch (plan.status) {
    case RemovalPlanStatus::NotInstalled:
        prompter.messageBox(kMsgNotInstalledWarn, {}, Buttons::OK, Icon::Warning);
        return FuseSetupResult::NothingToDo;
    case RemovalPlanStatus::Unknown:
        writeLog("!FsUninstall Error: %s: %s", joinCommand(command).c_str(), result.output.c_str());
        prompter.messageBox(kMsgPlanNotUnderstood, {kFusePackage, outputTail(result.output)}, Buttons::OK,
                            Icon::Error);
        return FuseSetupResult::Refused;
    case RemovalPlanStatus::Understood:
        break;
    }
    const std::vector<std::string> others = plan.othersAffected(kFusePackage);
    if (!others.empty()) {
        writeLog("!FsUninstall Refused: would also affect %s", namesList(others).c_str());
        prompter.messageBox(kMsgRemovalTakesOthers, {kFusePackage, namesList(others)}, Buttons::OK,
                            Icon::Error);
        return FuseSetupResult::Refused;
    }
    return FuseSetupResult::Done;
}

std::filesystem::path ownExecutable()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

} // namespace

bool isFuseUsable()
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return findOnPath("fusermount3").has_value();
}

FuseSetupResult installFuse(Prompter& prompter, const FuseSetupEnvironment& environment)
{
    if (environment.fuseUsable()) {
        return FuseSetupResult::NothingToDo;
    }
    const std::optional<PackageManagerKind> kind = detectPackageManager(environment.programFound);
    if (!kind) {
        writeLog("!FsInstall Error: no known package manager");
        prompter.messageBox(kMsgNoPackageManager, {kFusePackage}, Buttons::OK, Icon::Warning);
        return FuseSetupResult::CommandShown;
    }
    const std::vector<std::string> command = installCommand(*kind, kFusePackage);
    writeLog("FsInstall Begin: %s", joinCommand(command).c_str());
    if (!environment.isRoot) {
        return askForAdministrator(prompter, environment, FuseTask::Install);
    }
    const RunResult result = environment.run(command);
    if (!result.started || result.exitCode != 0) {
        writeLog("!FsInstall Error: %s", result.output.c_str());
        prompter.messageBox(kMsgInstallFailed, {outputTail(result.output)}, Buttons::OK, Icon::Error);
        return FuseSetupResult::Failed;
    }
    if (!environment.fuseUsable()) {
        // Installed, yet /dev/fuse does not open (a container without the device, for one).
        writeLog("!FsInstall Error: fuse3 installed, but /dev/fuse is not usable");
        prompter.messageBox(kMsgNotInstalled, {}, Buttons::OK, Icon::Error);
        return FuseSetupResult::Failed;
    }
    writeLog("FsInstall End");
    return FuseSetupResult::Done;
}

FuseSetupResult removeFuse(Prompter& prompter, const FuseSetupEnvironment& environment)
{
    if (!environment.fuseUsable()) {
        prompter.messageBox(kMsgNotInstalledWarn, {}, Buttons::OK, Icon::Warning);
        return FuseSetupResult::NothingToDo;
    }
    const std::optional<PackageManagerKind> kind = detectPackageManager(environment.programFound);
    if (!kind) {
        writeLog("!FsUninstall Error: no known package manager");
        prompter.messageBox(kMsgNoPackageManager, {kFusePackage}, Buttons::OK, Icon::Warning);
        return FuseSetupResult::CommandShown;
    }
    // Where the simulation needs no rights, a removal that would be refused is refused before
    // the user is asked for them.
    if (environment.isRoot || !simulationNeedsRoot(*kind)) {
        const FuseSetupResult planned = checkRemovalPlan(prompter, environment, *kind);
        if (planned != FuseSetupResult::Done) {
            return planned;
        }
    }
    if (!environment.isRoot) {
        return askForAdministrator(prompter, environment, FuseTask::Remove);
    }
    const std::vector<std::string> command = removeCommand(*kind, kFusePackage);
    writeLog("FsUninstall Begin: %s", joinCommand(command).c_str());
    const RunResult result = environment.run(command);
    if (!result.started || result.exitCode != 0) {
        writeLog("!FsUninstall Error: %s", result.output.c_str());
        prompter.messageBox(kMsgUninstallFailed, {outputTail(result.output)}, Buttons::OK, Icon::Error);
        return FuseSetupResult::Failed;
    }
    writeLog("FsUninstall End");
    prompter.messageBox(kMsgUninstalled, {}, Buttons::OK, Icon::Information);
    return FuseSetupResult::Done;
}

FuseSetupEnvironment systemFuseSetup()
{
    FuseSetupEnvironment environment;
    environment.fuseUsable = isFuseUsable;
    environment.programFound = [](const std::string& program) { return findOnPath(program).has_value(); };
    environment.run = [](const std::vector<std::string>& argv) {
        return runProgram(argv, std::chrono::minutes(10));
    };
    environment.isRoot = ::geteuid() == 0;
    environment.restartElevated = [](FuseTask) {
        const std::vector<std::string> arguments = ownArguments();
        if (findOnPath("pkexec") && restartElevated(arguments)) {
            return ElevationResult{true, {}};
        }
        std::vector<std::string> command{"sudo", ownExecutable().string()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return ElevationResult{false, joinCommand(command)};
    };
    return environment;
}

bool FsInstall(Prompter& prompter)
{
    const FuseSetupResult result = installFuse(prompter, systemFuseSetup());
    return result == FuseSetupResult::Done || result == FuseSetupResult::NothingToDo;
}

void FsUninstall(Prompter& prompter)
{
    removeFuse(prompter, systemFuseSetup());
}

bool FSCustomIcon(bool install)
{
    (void)install;
    return false;
}

std::vector<std::string> elevatedRestartCommand(const std::filesystem::path& executable,
                                                const std::vector<std::string>& arguments,
                                                const std::function<const char*(const char*)>& getVariable)
{
    std::vector<std::string> command{"pkexec"};
    std::vector<std::string> variables;
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
        const char* value = getVariable(name);
        if (value != nullptr && *value != '\0') {
            variables.push_back(std::string(name) + "=" + value);
        }
    }
    if (!variables.empty()) {
        command.push_back("env");
        command.insert(command.end(), variables.begin(), variables.end());
    }
    command.push_back(executable.string());
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

std::vector<std::string> ownArguments()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = std::min(all.find('\0', start), all.size());
        arguments.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    if (!arguments.empty()) {
        arguments.erase(arguments.begin()); // the program name
    }
    return arguments;
}

bool restartElevated(const std::vector<std::string>& arguments)
{
    const std::filesystem::path executable = ownExecutable();
    if (executable.empty()) {
        return false;
    }
    SpawnOptions options;
    options.newSession = true;
    const pid_t pid = spawnProcess(elevatedRestartCommand(executable, arguments, ::getenv), options);
    if (pid < 0) {
        return false;
    }
    writeLog("Restarting with administrator rights: pid %d", static_cast<int>(pid));
    return true;
}

} // namespace kestrava::host
