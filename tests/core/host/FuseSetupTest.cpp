// Installing and removing FUSE over a fake package manager: the recorded outputs below are what
// the real programs print; nothing here installs or removes a real package.
#include "core/host/FuseAvailability.h"
#include "core/host/PackageManager.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace kestrava::host {
namespace {

using test::ScriptedPrompter;

const std::string kAptOnlyFuse = R"(NOTE: This is only a simulation!
      apt-get needs root privileges for real execution.
      Keep also in mind that locking is deactivated,
      so don't depend on the relevance to the real current situation!
Reading package lists... Done
Building dependency tree... Done
Reading state information... Done
The following packages will be REMOVED:
  fuse3
0 upgraded, 0 newly installed, 1 to remove and 12 not upgraded.
Remv fuse3 [3.14.0-4]
)";

const std::string kAptWithOthers = R"(NOTE: This is only a simulation!
      apt-get needs root privileges for real execution.
Reading package lists... Done
Building dependency tree... Done
Reading state information... Done
The following packages will be REMOVED:
  fuse3 gvfs-fuse xdg-desktop-portal
0 upgraded, 0 newly installed, 3 to remove and 0 not upgraded.
Remv gvfs-fuse:amd64 [1.50.3-1]
Remv xdg-desktop-portal [1.16.0-2]
Remv fuse3 [3.14.0-4]
)";

const std::string kDnfWithOthers = R"(Dependencies resolved.
================================================================================
 Package             Architecture    Version                Repository     Size
================================================================================
Removing:
 fuse3               x86_64          3.16.2-1.fc39          @fedora       112 k
Removing dependent packages:
 gvfs-fuse           x86_64          1.52.1-1.fc39          @updates       66 k

Transaction Summary
================================================================================
Remove  2 Packages

Freed size: 178 k
Operation aborted.
)";

const std::string kDnfOnlyFuse = R"(Dependencies resolved.
================================================================================
 Package             Architecture    Version                Repository     Size
================================================================================
Removing:
 fuse3               x86_64          3.16.2-1.fc39          @fedora       112 k

Transaction Summary
================================================================================
Remove  1 Package

Freed size: 112 k
Operation aborted.
)";

const std::string kZypperWithOthers = R"(Loading repository data...
Reading installed packages...
Resolving package dependencies...

The following 3 packages are going to be REMOVED:
  fuse3 gvfs-backend-afc
  gvfs-fuse

3 packages to remove.
After the operation, 410.2 KiB will be freed.
Continue? [y/n/v/...? shows all options] (y): y
)";

const std::string kZypperOnlyFuse = R"(Loading repository data...
Reading installed packages...
Resolving package dependencies...

The following package is going to be REMOVED:
  fuse3

1 package to remove.
After the operation, 112.0 KiB will be freed.
Continue? [y/n/v/...? shows all options] (y): y
)";

const std::string kPacmanBreaks = R"(checking dependencies...
error: failed to prepare transaction (could not satisfy dependencies)
:: removing fuse3 breaks dependency 'fuse3' required by gvfs
:: removing fuse3 breaks dependency 'fuse3' required by xdg-desktop-portal
)";

struct PlanCase
{
    const char* name;
    PackageManagerKind kind;
    std::string output;
    int exitCode;
    RemovalPlanStatus status;
    std::vector<std::string> removed;
    std::vector<std::string> broken;
};

TEST(PackageManagerTest, ReadsWhatEachSimulatedRemovalWouldTake)
{
    using K = PackageManagerKind;
    using S = RemovalPlanStatus;
    const std::vector<PlanCase> cases = {
        {"apt, fuse3 alone", K::Apt, kAptOnlyFuse, 0, S::Understood, {"fuse3"}, {}},
        {"apt, with dependents",
         K::Apt,
         kAptWithOthers,
         0,
         S::Understood,
         {"gvfs-fuse", "xdg-desktop-portal", "fuse3"},
         {}},
        {"apt, not installed",
         K::Apt,
         "Reading package lists...\nPackage 'fuse3' is not installed, so not removed\n"
         "0 upgraded, 0 newly installed, 0 to remove and 0 not upgraded.\n",
         0,
         S::NotInstalled,
         {},
         {}},
        {"apt, cut short",
         K::Apt,
         kAptWithOthers.substr(0, kAptWithOthers.find("Remv xdg")),
         0,
         S::Unknown,
         {"gvfs-fuse"},
         {}},
        {"apt, locked",
         K::Apt,
         "E: Could not get lock /var/lib/dpkg/lock-frontend\n",
         100,
         S::Unknown,
         {},
         {}},
        {"dnf, with dependents", K::Dnf, kDnfWithOthers, 1, S::Understood, {"fuse3", "gvfs-fuse"}, {}},
        {"dnf, fuse3 alone", K::Dnf, kDnfOnlyFuse, 1, S::Understood, {"fuse3"}, {}},
        {"dnf, not installed",
         K::Dnf,
         "No match for argument: fuse3\nNo packages marked for removal.\n",
         1,
         S::NotInstalled,
         {},
         {}},
        {"dnf, not root",
         K::Dnf,
         "Error: This command has to be run with superuser privileges.\n",
         1,
         S::Unknown,
         {},
         {}},
        {"zypper, with dependents",
         K::Zypper,
         kZypperWithOthers,
         0,
         S::Understood,
         {"fuse3", "gvfs-backend-afc", "gvfs-fuse"},
         {}},
        {"zypper, fuse3 alone", K::Zypper, kZypperOnlyFuse, 0, S::Understood, {"fuse3"}, {}},
        {"zypper, not installed",
         K::Zypper,
         "'fuse3' not found in package names. Trying capabilities.\n"
         "No provider of 'fuse3' found.\n",
         104,
         S::NotInstalled,
         {},
         {}},
        {"pacman, fuse3 alone", K::Pacman, "fuse3\n", 0, S::Understood, {"fuse3"}, {}},
        {"pacman, breaks others",
         K::Pacman,
         kPacmanBreaks,
         1,
         S::Understood,
         {},
         {"gvfs", "xdg-desktop-portal"}},
        {"pacman, not installed", K::Pacman, "error: target not found: fuse3\n", 1, S::NotInstalled, {}, {}},
        {"pacman, not root",
         K::Pacman,
         "error: you cannot perform this operation unless you are root.\n",
         1,
         S::Unknown,
         {},
         {}},
    };
    for (const PlanCase& c : cases) {
        const RemovalPlan plan = parseRemovalPlan(c.kind, c.output, c.exitCode);
        EXPECT_EQ(plan.status, c.status) << c.name;
        if (c.status == S::Understood) {
            EXPECT_EQ(plan.removed, c.removed) << c.name;
            EXPECT_EQ(plan.broken, c.broken) << c.name;
        }
    }
}

TEST(PackageManagerTest, DetectsTheManagerOnThePath)
{
    const std::set<std::string> present{"dnf", "pacman"};
    EXPECT_EQ(detectPackageManager([&](const std::string& p) { return present.count(p) > 0; }),
              PackageManagerKind::Dnf);
    EXPECT_EQ(detectPackageManager([](const std::string&) { return false; }), std::nullopt);
}

// A machine with one package manager whose programs answer with recorded outputs.
struct FakeSystem
{
    std::set<std::string> programs{"apt-get"};
    std::map<std::string, RunResult> answers; // by the full command line
    std::vector<std::string> ran;
    bool usable = true;
    bool usableAfterInstall = true;
    bool root = true;
    std::vector<FuseTask> restarts;
    ElevationResult elevation{true, {}};

    void answer(const std::vector<std::string>& command, std::string output, int exitCode = 0)
    {
        answers[joinCommand(command)] = RunResult{true, exitCode, std::move(output)};
    }

    FuseSetupEnvironment environment()
    {
        FuseSetupEnvironment e;
        e.fuseUsable = [this] { return usable; };
        e.programFound = [this](const std::string& program) { return programs.count(program) > 0; };
        e.run = [this](const std::vector<std::string>& argv) {
            const std::string line = joinCommand(argv);
            ran.push_back(line);
            const auto found = answers.find(line);
            EXPECT_NE(found, answers.end()) << "unexpected command: " << line;
            if (found == answers.end()) {
                return RunResult{};
            }
            if (line.find(" install ") != std::string::npos && found->second.exitCode == 0) {
                usable = usableAfterInstall;
            }
            return found->second;
        };
        e.isRoot = root;
        e.restartElevated = [this](FuseTask task) {
            restarts.push_back(task);
            return elevation;
        };
        return e;
    }
};

const std::vector<std::string> kAptSimulation{"env", "LC_ALL=C", "apt-get", "-s", "remove", "fuse3"};

TEST(FuseSetupTest, RemovalGoesAheadOnlyWhenFuseAloneWouldGo)
{
    FakeSystem system;
    system.answer(kAptSimulation, kAptOnlyFuse);
    system.answer({"apt-get", "remove", "-y", "fuse3"}, "Removing fuse3 (3.14.0-4) ...\n");
    ScriptedPrompter prompter;
    EXPECT_EQ(removeFuse(prompter, system.environment()), FuseSetupResult::Done);
    EXPECT_EQ(system.ran, (std::vector<std::string>{joinCommand(kAptSimulation), "apt-get remove -y fuse3"}));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{124});

    struct Refusal
    {
        std::string program;
        std::vector<std::string> simulation;
        std::string output;
        int exitCode;
        std::string others;
    };
    const std::vector<Refusal> refusals = {
        {"apt-get", kAptSimulation, kAptWithOthers, 0, "gvfs-fuse, xdg-desktop-portal"},
        {"dnf",
         {"env", "LC_ALL=C", "dnf", "remove", "--assumeno", "--setopt=clean_requirements_on_remove=False",
          "fuse3"},
         kDnfWithOthers,
         1,
         "gvfs-fuse"},
        {"zypper",
         {"env", "LC_ALL=C", "zypper", "-n", "rm", "--dry-run", "fuse3"},
         kZypperWithOthers,
         0,
         "gvfs-backend-afc, gvfs-fuse"},
        {"pacman",
         {"env", "LC_ALL=C", "pacman", "-Rp", "--print-format", "%n", "fuse3"},
         kPacmanBreaks,
         1,
         "gvfs, xdg-desktop-portal"},
    };
    for (const Refusal& r : refusals) {
        FakeSystem other;
        other.programs = {r.program};
        other.answer(r.simulation, r.output, r.exitCode);
        ScriptedPrompter refused;
        EXPECT_EQ(removeFuse(refused, other.environment()), FuseSetupResult::Refused) << r.program;
        EXPECT_EQ(other.ran, std::vector<std::string>{joinCommand(r.simulation)})
            << r.program << ": only simulated";
        ASSERT_EQ(refused.messageIds(), std::vector<int>{1274}) << r.program;
        EXPECT_EQ(refused.calls().front().args, (std::vector<std::string>{"fuse3", r.others})) << r.program;
    }
}

TEST(FuseSetupTest, RemovalStopsWhenThePlanIsUnclearOrNothingIsInstalled)
{
    FakeSystem garbled;
    garbled.answer(kAptSimulation, "E: Could not get lock /var/lib/dpkg/lock-frontend\n", 100);
    ScriptedPrompter prompter;
    EXPECT_EQ(removeFuse(prompter, garbled.environment()), FuseSetupResult::Refused);
    EXPECT_EQ(garbled.ran.size(), 1u);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{1273});

    FakeSystem absent;
    absent.usable = false;
    ScriptedPrompter told;
    EXPECT_EQ(removeFuse(told, absent.environment()), FuseSetupResult::NothingToDo);
    EXPECT_TRUE(absent.ran.empty());
    EXPECT_EQ(told.messageIds(), std::vector<int>{122});

    FakeSystem noManager;
    noManager.programs.clear();
    ScriptedPrompter shown;
    EXPECT_EQ(removeFuse(shown, noManager.environment()), FuseSetupResult::CommandShown);
    EXPECT_EQ(shown.messageIds(), std::vector<int>{1270});
}

TEST(FuseSetupTest, WithoutRootMessage121RestartsElevated)
{
    // apt-get simulates without rights: a removal that would be refused never asks for them.
    FakeSystem user;
    user.root = false;
    user.answer(kAptSimulation, kAptOnlyFuse);
    ScriptedPrompter prompter;
    prompter.expectMessage(121, Button::OK);
    EXPECT_EQ(removeFuse(prompter, user.environment()), FuseSetupResult::Restarted);
    EXPECT_EQ(user.ran, std::vector<std::string>{joinCommand(kAptSimulation)});
    EXPECT_EQ(user.restarts, std::vector<FuseTask>{FuseTask::Remove});

    // dnf wants rights even to simulate: nothing runs before the restart.
    FakeSystem dnfUser;
    dnfUser.programs = {"dnf"};
    dnfUser.root = false;
    ScriptedPrompter cancelled;
    cancelled.expectMessage(121, Button::Cancel);
    EXPECT_EQ(removeFuse(cancelled, dnfUser.environment()), FuseSetupResult::Declined);
    EXPECT_TRUE(dnfUser.ran.empty());
    EXPECT_TRUE(dnfUser.restarts.empty());

    // No way to restart elevated: the command is shown instead.
    FakeSystem noPkexec;
    noPkexec.root = false;
    noPkexec.usable = false;
    noPkexec.elevation = ElevationResult{false, "sudo kestrava-cli fuse install"};
    ScriptedPrompter shown;
    shown.expectMessage(121, Button::OK);
    EXPECT_EQ(installFuse(shown, noPkexec.environment()), FuseSetupResult::CommandShown);
    EXPECT_TRUE(noPkexec.ran.empty());
    EXPECT_EQ(noPkexec.restarts, std::vector<FuseTask>{FuseTask::Install});
    EXPECT_EQ(shown.messageIds(), (std::vector<int>{121, 1271}));
    EXPECT_EQ(shown.calls().back().args, std::vector<std::string>{"sudo kestrava-cli fuse install"});
}

TEST(FuseSetupTest, InstallRunsTheDetectedManagerAsRoot)
{
    FakeSystem ready;
    ScriptedPrompter quiet;
    EXPECT_EQ(installFuse(quiet, ready.environment()), FuseSetupResult::NothingToDo);
    EXPECT_TRUE(ready.ran.empty());

    FakeSystem zypper;
    zypper.programs = {"zypper", "pacman"};
    zypper.usable = false;
    zypper.answer({"zypper", "-n", "install", "fuse3"}, "Installing: fuse3-3.16.2 [done]\n");
    ScriptedPrompter prompter;
    EXPECT_EQ(installFuse(prompter, zypper.environment()), FuseSetupResult::Done);
    EXPECT_EQ(zypper.ran, std::vector<std::string>{"zypper -n install fuse3"});
    EXPECT_TRUE(prompter.messageIds().empty());

    FakeSystem failing;
    failing.programs = {"pacman"};
    failing.usable = false;
    failing.answer({"pacman", "-S", "--noconfirm", "--needed", "fuse3"},
                   "error: failed retrieving file 'fuse3-3.16.2-1-x86_64.pkg.tar.zst'\n", 1);
    ScriptedPrompter failed;
    EXPECT_EQ(installFuse(failed, failing.environment()), FuseSetupResult::Failed);
    ASSERT_EQ(failed.messageIds(), std::vector<int>{1272});
    EXPECT_NE(failed.calls().front().args.front().find("failed retrieving"), std::string::npos);

    FakeSystem noDevice; // installed, but /dev/fuse still does not open
    noDevice.usable = false;
    noDevice.usableAfterInstall = false;
    noDevice.answer({"apt-get", "install", "-y", "fuse3"}, "Setting up fuse3 (3.14.0-4) ...\n");
    ScriptedPrompter told;
    EXPECT_EQ(installFuse(told, noDevice.environment()), FuseSetupResult::Failed);
    EXPECT_EQ(told.messageIds(), std::vector<int>{93});
}

TEST(FuseSetupTest, ElevatedRestartKeepsArgumentsAndDisplay)
{
    const std::map<std::string, const char*> desktop{{"DISPLAY", ":0"},
                                                     {"XAUTHORITY", "/run/user/1000/xauth"}};
    const auto lookup = [&](const char* name) -> const char* {
        const auto found = desktop.find(name);
        return found == desktop.end() ? nullptr : found->second;
    };
    EXPECT_EQ(elevatedRestartCommand("/opt/kestrava/kestrava", {"--install-fuse"}, lookup),
              (std::vector<std::string>{"pkexec", "env", "DISPLAY=:0", "XAUTHORITY=/run/user/1000/xauth",
                                        "/opt/kestrava/kestrava", "--install-fuse"}));
    EXPECT_EQ(elevatedRestartCommand("/usr/bin/kestrava-cli", {"fuse", "remove"},
                                     [](const char*) -> const char* { return nullptr; }),
              (std::vector<std::string>{"pkexec", "/usr/bin/kestrava-cli", "fuse", "remove"}));
}

} // namespace
} // namespace kestrava::host
