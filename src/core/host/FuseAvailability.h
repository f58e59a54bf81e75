// Whether FUSE can serve drives on this machine, and putting it there or taking it away.
// FUSE is the distribution's fuse3 package, installed and removed through the system's package
// manager (apt-get, dnf, zypper or pacman, whichever is there). That needs administrator rights:
// without them the user is asked (message 121) to restart the program through pkexec; where no
// restart is possible, the command to run is shown instead.
#pragma once

#include "core/host/PackageManager.h"
#include "core/host/Process.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kestrava {
class Prompter;
}

namespace kestrava::host {

// /dev/fuse opens for reading and writing, and fusermount3 is on the PATH.
bool isFuseUsable();

enum class FuseTask
{
    Install,
    Remove,
};

// What message 121's OK led to.
struct ElevationResult
{
    bool restarted = false;    // an elevated copy was started; this instance should end
    std::string commandToShow; // otherwise: what the user can run as administrator instead
};

// Everything the install and removal flows touch on the system; tests pass fakes.
struct FuseSetupEnvironment
{
    std::function<bool()> fuseUsable;
    ProgramFinder programFound;
    std::function<RunResult(const std::vector<std::string>& argv)> run;
    bool isRoot = false;
    std::function<ElevationResult(FuseTask task)> restartElevated;
};

// The real system; the restart runs this program again through pkexec with its own arguments.
FuseSetupEnvironment systemFuseSetup();

enum class FuseSetupResult
{
    Done,
    NothingToDo,  // already installed, or not installed when removing
    Restarted,    // an elevated copy took over
    Declined,     // the user cancelled message 121
    CommandShown, // no way to get administrator rights here: the command to run was shown
    Refused,      // the removal would take other packages with it, or its plan was not understood
    Failed,
};

FuseSetupResult installFuse(Prompter& prompter, const FuseSetupEnvironment& environment);
// Removes fuse3 only when the package manager's simulated removal shows that nothing else goes
// with it or breaks; otherwise refuses and names what would.
FuseSetupResult removeFuse(Prompter& prompter, const FuseSetupEnvironment& environment);

// Installs fuse3 on the real system. True when FUSE is usable afterwards (or already was).
bool FsInstall(Prompter& prompter);

// Removes fuse3 on the real system after the usual questions. Does nothing (with message 122)
// when it is not there.
void FsUninstall(Prompter& prompter);

// Drives carry no custom icon on Linux: nothing is registered, and the query reports none.
bool FSCustomIcon(bool install);

// pkexec running executable with arguments. pkexec clears the environment, so the display
// variables a windowed program needs are passed on through env when getVariable has them.
std::vector<std::string> elevatedRestartCommand(const std::filesystem::path& executable,
                                                const std::vector<std::string>& arguments,
                                                const std::function<const char*(const char*)>& getVariable);

// This process's arguments after the program name.
std::vector<std::string> ownArguments();

// Starts this program again through pkexec with the given arguments, detached; true when it
// started. The caller then ends this instance.
bool restartElevated(const std::vector<std::string>& arguments);

} // namespace kestrava::host
