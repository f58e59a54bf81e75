#include "core/host/FuseAvailability.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/host/Process.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace kestrava::host {
namespace {

constexpr int kMsgNotInstalled = 93; // "Error! Virtual Disk Drivers are not installed!"
constexpr int kMsgNeedsAdmin =
    121; // "...needs Administrative permission... restart with Administrator rights?"
constexpr int kMsgNotInstalledWarn = 122; // "The Virtual Disk Drivers are not installed."
constexpr int kMsgUninstalled = 124;      // "Virtual Disk Drivers successfully uninstalled..."
constexpr int kMsgUninstallFailed = 125;  // "Error!  There was a problem removing ...\n%s"

// The package manager command, elevated the way this session allows; empty when it cannot be.
std::vector<std::string> elevated(std::vector<std::string> command)
{
    if (::geteuid() == 0) {
        return command;
    }
    if (findOnPath("pkexec")) {
        command.insert(command.begin(), "pkexec");
        return command;
    }
    return {};
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
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

bool FsInstall(Prompter& prompter)
{
    if (isFuseUsable()) {
        return true;
    }
    const std::vector<std::string> command{"apt-get", "install", "-y", "fuse3"};
    const std::vector<std::string> run = elevated(command);
    writeLog("FsInstall Begin: %s", joined(command).c_str());
    if (run.empty()) {
        // Nobody here can grant administrator rights: say what to run instead.
        if (prompter.messageBox(kMsgNeedsAdmin, {}, Buttons::OKCancel, Icon::Warning) == Button::OK) {
            prompter.status("Run as administrator: sudo " + joined(command));
        }
        writeLog("!FsInstall Error: no pkexec; run: sudo %s", joined(command).c_str());
        return false;
    }
    const RunResult result = runProgram(run, std::chrono::minutes(10));
    if (result.exitCode != 0 || !isFuseUsable()) {
        writeLog("!FsInstall Error: %s", result.output.c_str());
        prompter.messageBox(kMsgNotInstalled, {}, Buttons::OK, Icon::Error);
        return false;
    }
    writeLog("FsInstall End");
    return true;
}

void FsUninstall(Prompter& prompter)
{
    if (!isFuseUsable()) {
        prompter.messageBox(kMsgNotInstalledWarn, {}, Buttons::OK, Icon::Warning);
        return;
    }
    const std::vector<std::string> command{"apt-get", "remove", "-y", "fuse3"};
    const std::vector<std::string> run = elevated(command);
    if (run.empty()) {
        if (prompter.messageBox(kMsgNeedsAdmin, {}, Buttons::OKCancel, Icon::Warning) == Button::OK) {
            prompter.status("Run as administrator: sudo " + joined(command));
        }
        return;
    }
    const RunResult result = runProgram(run, std::chrono::minutes(10));
    if (result.exitCode != 0) {
        prompter.messageBox(kMsgUninstallFailed, {result.output}, Buttons::OK, Icon::Error);
        return;
    }
    prompter.messageBox(kMsgUninstalled, {}, Buttons::OK, Icon::Information);
}

bool FSCustomIcon(bool install)
{
    (void)install;
    return false;
}

} // namespace kestrava::host
