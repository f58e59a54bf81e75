#include "core/host/PackageManager.h"

#include <algorithm>
#include <array>
#include <regex>
#include <sstream>
#include <utility>

namespace kestrava::host {
namespace {

// The simulation's output is read, so it must come in English whatever the user's locale.
std::vector<std::string> inPlainLocale(std::vector<std::string> command)
{
    command.insert(command.begin(), {"env", "LC_ALL=C"});
    return command;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> wordsOf(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

bool contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// "libfuse3-3:amd64" names the package "libfuse3-3".
std::string withoutArchitecture(const std::string& name)
{
    return name.substr(0, name.find(':'));
}

void addUnique(std::vector<std::string>& names, const std::string& name)
{
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
    }
}

// apt-get -s remove: one "Remv <name> [<version>]" line per package, and a summary line whose
// count must agree with them.
RemovalPlan parseApt(const std::string& output, int exitCode)
{
    RemovalPlan plan;
    if (contains(output, "is not installed, so not removed") ||
        contains(output, "Unable to locate package")) {
        plan.status = RemovalPlanStatus::NotInstalled;
        return plan;
    }
    const std::regex summary(R"((\d+) to remove)");
    std::optional<std::size_t> announced;
    for (const std::string& line : linesOf(output)) {
        const std::vector<std::string> words = wordsOf(line);
        if (words.size() >= 2 && words[0] == "Remv") {
            addUnique(plan.removed, withoutArchitecture(words[1]));
        }
        std::smatch match;
        if (std::regex_search(line, match, summary)) {
            announced = std::stoul(match[1].str());
        }
    }
    if (exitCode == 0 && announced && *announced == plan.removed.size()) {
        plan.status = plan.removed.empty() ? RemovalPlanStatus::NotInstalled : RemovalPlanStatus::Understood;
    }
    return plan;
}

// dnf remove --assumeno: sections headed "Removing:", "Removing dependent packages:",
// "Removing unused dependencies:", each package on an indented line starting with its name.
// The answer "no" makes dnf exit with 1, so the exit code says nothing here.
RemovalPlan parseDnf(const std::string& output)
{
    RemovalPlan plan;
    if (contains(output, "No match for argument") || contains(output, "No packages marked for removal") ||
        contains(output, "No packages to remove")) {
        plan.status = RemovalPlanStatus::NotInstalled;
        return plan;
    }
    const std::regex header(R"(^Removing[A-Za-z ]*:\s*$)");
    bool inSection = false;
    bool sawSection = false;
    for (const std::string& line : linesOf(output)) {
        if (std::regex_match(line, header)) {
            inSection = sawSection = true;
            continue;
        }
        if (line.empty() || line.front() != ' ') {
            inSection = false;
            continue;
        }
        const std::vector<std::string> words = wordsOf(line);
        if (inSection && !words.empty()) {
            addUnique(plan.removed, words[0]);
        }
    }
    if (sawSection && !plan.removed.empty() && contains(output, "Transaction Summary")) {
        plan.status = RemovalPlanStatus::Understood;
    }
    return plan;
}

// zypper -n rm --dry-run: "The following N packages are going to be REMOVED:" followed by
// indented lines of names up to a blank line.
RemovalPlan parseZypper(const std::string& output, int exitCode)
{
    RemovalPlan plan;
    if (contains(output, "No provider of") || contains(output, "is not installed") ||
        contains(output, "Nothing to do.")) {
        plan.status = RemovalPlanStatus::NotInstalled;
        return plan;
    }
    const std::regex header(R"(^The following (?:(\d+) )?packages? (?:is|are) going to be REMOVED:\s*$)");
    bool inList = false;
    std::optional<std::size_t> announced;
    for (const std::string& line : linesOf(output)) {
        std::smatch match;
        if (std::regex_match(line, match, header)) {
            inList = true;
            announced = match[1].matched ? std::stoul(match[1].str()) : 1;
            continue;
        }
        if (inList && wordsOf(line).empty()) {
            inList = false;
        }
        if (inList) {
            for (const std::string& word : wordsOf(line)) {
                addUnique(plan.removed, word);
            }
        }
    }
    if (exitCode == 0 && announced && *announced == plan.removed.size()) {
        plan.status = RemovalPlanStatus::Understood;
    }
    return plan;
}

// pacman -Rp --print-format %n: the names, one a line. pacman -R never removes the packages
// that need the target; it refuses with ":: removing X breaks dependency 'Y' required by Z".
RemovalPlan parsePacman(const std::string& output, int exitCode)
{
    RemovalPlan plan;
    if (contains(output, "target not found")) {
        plan.status = RemovalPlanStatus::NotInstalled;
        return plan;
    }
    const std::regex breaks(R"(^:: removing \S+ breaks dependency '[^']*' required by (\S+)\s*$)");
    for (const std::string& line : linesOf(output)) {
        std::smatch match;
        if (std::regex_match(line, match, breaks)) {
            addUnique(plan.broken, match[1].str());
            continue;
        }
        const std::vector<std::string> words = wordsOf(line);
        if (exitCode == 0 && words.size() == 1 && !contains(line, ":")) {
            addUnique(plan.removed, words[0]);
        }
    }
    if ((exitCode == 0 && !plan.removed.empty()) || !plan.broken.empty()) {
        plan.status = RemovalPlanStatus::Understood;
    }
    return plan;
}

} // namespace

std::optional<PackageManagerKind> detectPackageManager(const ProgramFinder& found)
{
    constexpr std::array<std::pair<const char*, PackageManagerKind>, 4> programs{{
        {"apt-get", PackageManagerKind::Apt},
        {"dnf", PackageManagerKind::Dnf},
        {"zypper", PackageManagerKind::Zypper},
        {"pacman", PackageManagerKind::Pacman},
    }};
    for (const auto& [program, kind] : programs) {
        if (found(program)) {
            return kind;
        }
    }
    return std::nullopt;
}

std::vector<std::string> installCommand(PackageManagerKind kind, const std::string& package)
{
    switch (kind) {
    case PackageManagerKind::Apt:
        return {"apt-get", "install", "-y", package};
    case PackageManagerKind::Dnf:
        return {"dnf", "install", "-y", package};
    case PackageManagerKind::Zypper:
        return {"zypper", "-n", "install", package};
    case PackageManagerKind::Pacman:
        return {"pacman", "-S", "--noconfirm", "--needed", package};
    }
    return {};
}

// dnf would also take dependencies nothing else needs any more; only the package itself goes.
std::vector<std::string> removeCommand(PackageManagerKind kind, const std::string& package)
{
    switch (kind) {
    case PackageManagerKind::Apt:
        return {"apt-get", "remove", "-y", package};
    case PackageManagerKind::Dnf:
        return {"dnf", "remove", "-y", "--setopt=clean_requirements_on_remove=False", package};
    case PackageManagerKind::Zypper:
        return {"zypper", "-n", "rm", package};
    case PackageManagerKind::Pacman:
        return {"pacman", "-R", "--noconfirm", package};
    }
    return {};
}

std::vector<std::string> simulatedRemoveCommand(PackageManagerKind kind, const std::string& package)
{
    switch (kind) {
    case PackageManagerKind::Apt:
        return inPlainLocale({"apt-get", "-s", "remove", package});
    case PackageManagerKind::Dnf:
        return inPlainLocale(
            {"dnf", "remove", "--assumeno", "--setopt=clean_requirements_on_remove=False", package});
    case PackageManagerKind::Zypper:
        return inPlainLocale({"zypper", "-n", "rm", "--dry-run", package});
    case PackageManagerKind::Pacman:
        return inPlainLocale({"pacman", "-Rp", "--print-format", "%n", package});
    }
    return {};
}

bool simulationNeedsRoot(PackageManagerKind kind)
{
    return kind == PackageManagerKind::Dnf || kind == PackageManagerKind::Zypper;
}

std::vector<std::string> RemovalPlan::othersAffected(const std::string& package) const
{
    std::vector<std::string> others;
    for (const std::string& name : removed) {
        if (name != package) {
            addUnique(others, name);
        }
    }
    for (const std::string& name : broken) {
        addUnique(others, name);
    }
    return others;
}

RemovalPlan parseRemovalPlan(PackageManagerKind kind, const std::string& output, int exitCode)
{
    switch (kind) {
    case PackageManagerKind::Apt:
        return parseApt(output, exitCode);
    case PackageManagerKind::Dnf:
        return parseDnf(output);
    case PackageManagerKind::Zypper:
        return parseZypper(output, exitCode);
    case PackageManagerKind::Pacman:
        return parsePacman(output, exitCode);
    }
    return {};
}

std::string joinCommand(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

} // namespace kestrava::host
