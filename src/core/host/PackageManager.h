// The system's package manager, as far as FUSE needs it: which one this machine has, the
// command lines that install and remove a package, and what a removal would take with it.
// Nothing here runs a program; FuseSetup runs the commands built here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::host {

enum class PackageManagerKind
{
    Apt,
    Dnf,
    Zypper,
    Pacman,
};

// The package that provides FUSE 3 (the same name on every supported distribution).
inline constexpr const char* kFusePackage = "fuse3";

// Finds a program on the PATH; tests pass their own.
using ProgramFinder = std::function<bool(const std::string& program)>;

// The first package manager whose program is found, in the order apt-get, dnf, zypper, pacman.
std::optional<PackageManagerKind> detectPackageManager(const ProgramFinder& found);

std::vector<std::string> installCommand(PackageManagerKind kind, const std::string& package);
std::vector<std::string> removeCommand(PackageManagerKind kind, const std::string& package);

// A removal that only reports what it would do; it changes nothing.
std::vector<std::string> simulatedRemoveCommand(PackageManagerKind kind, const std::string& package);
// Whether the package manager insists on administrator rights even for the simulation.
bool simulationNeedsRoot(PackageManagerKind kind);

enum class RemovalPlanStatus
{
    Understood,   // removed lists every package the removal would take
    NotInstalled, // the package is not installed: nothing would be removed
    Unknown,      // the output did not say: the removal must not go ahead
};

struct RemovalPlan
{
    RemovalPlanStatus status = RemovalPlanStatus::Unknown;
    std::vector<std::string> removed; // package names without version or architecture
    std::vector<std::string> broken;  // packages left behind without something they need

    // The packages other than `package` that the removal would remove or break.
    std::vector<std::string> othersAffected(const std::string& package) const;
};

// Reads the output of simulatedRemoveCommand (standard output and error together).
RemovalPlan parseRemovalPlan(PackageManagerKind kind, const std::string& output, int exitCode);

std::string joinCommand(const std::vector<std::string>& words);

} // namespace kestrava::host
