// The manual page and completions the build wrote: they must say what --help says.
#include "cli/reference/CliReference.h"

#include "CliTestSupport.h"
#include "core/host/Process.h"
#include "support/TestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace kestrava::cli {
namespace {

using test::runCliInProcess;

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The command names the tool's --help lists under "Commands:".
std::vector<std::string> helpCommands()
{
    const auto help = runCliInProcess({"--help"});
    std::istringstream in(help.out);
    std::vector<std::string> names;
    std::string line;
    bool inCommands = false;
    while (std::getline(in, line)) {
        if (line == "Commands:") {
            inCommands = true;
        } else if (inCommands && line.starts_with("  ")) {
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        } else if (inCommands) {
            break;
        }
    }
    return names;
}

// The option names (without "--") a help text shows, one per "  --name" line.
std::set<std::string> helpOptions(const std::string& helpText, const std::string& fromHeading,
                                  const std::string& toHeading)
{
    std::set<std::string> names;
    const auto from = helpText.find(fromHeading);
    if (from == std::string::npos) {
        return names;
    }
    const auto to = toHeading.empty() ? std::string::npos : helpText.find(toHeading, from);
    std::istringstream in(helpText.substr(from, to == std::string::npos ? std::string::npos : to - from));
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("  --")) {
            names.insert(line.substr(4, line.find(' ', 4) - 4));
        }
    }
    return names;
}

// The part of the manual page from ".SS name" to the next section or subsection.
std::string manSection(const std::string& man, const std::string& heading)
{
    const auto from = man.find(heading + "\n");
    if (from == std::string::npos) {
        return {};
    }
    const auto next = man.find("\n.S", from + 1);
    return man.substr(from, next == std::string::npos ? std::string::npos : next - from);
}

std::string manOption(const std::string& name)
{
    return "\\fB" + reference::roffText("--" + name) + "\\fR";
}

TEST(CliReferenceTest, ManPageIsTheBuiltOneAndDocumentsEveryCommandAndOptionOfTheHelp)
{
    const std::string man = readFile(KESTRAVA_CLI_MAN_PAGE);
    std::ostringstream expected;
    reference::writeManPage(expected, KESTRAVA_VERSION);
    // Compared whole, but not printed whole when they differ.
    ASSERT_TRUE(man == expected.str()) << KESTRAVA_CLI_MAN_PAGE << " is not what the command table makes now";

    const auto commands = helpCommands();
    ASSERT_GE(commands.size(), 10u);
    for (const std::string& command : commands) {
        const std::string section = manSection(man, ".SS " + reference::roffText(command));
        ASSERT_FALSE(section.empty()) << command << " has no section in the manual page";
        EXPECT_NE(section.find("\\fBkestrava\\-cli\\fR " + reference::roffText(command)), std::string::npos)
            << command << ": no synopsis";
        const auto help = runCliInProcess({"help", command});
        ASSERT_EQ(help.exitCode, 0) << help.err;
        for (const std::string& option : helpOptions(help.out, "Options:", "Global options:")) {
            EXPECT_NE(section.find(manOption(option)), std::string::npos)
                << command << " --" << option << " is missing from its section";
        }
    }
    const std::string globals = manSection(man, ".SH GLOBAL OPTIONS");
    const auto globalOptions = helpOptions(runCliInProcess({"--help"}).out, "Global options:", "");
    ASSERT_GE(globalOptions.size(), 5u);
    for (const std::string& option : globalOptions) {
        EXPECT_NE(globals.find(manOption(option)), std::string::npos) << "--" << option;
    }
    // The serving mode is internal: --help does not list it, neither does the page.
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "serve"), 0);
    EXPECT_EQ(man.find(".SS serve"), std::string::npos);
}

TEST(CliReferenceTest, RoffTextCannotStartARequestOrEscape)
{
    EXPECT_EQ(reference::roffText(".hidden"), "\\&.hidden");
    EXPECT_EQ(reference::roffText("'quoted"), "\\&'quoted");
    EXPECT_EQ(reference::roffText("a\\b --c"), "a\\eb \\-\\-c");
    EXPECT_EQ(reference::roffText("plain text"), "plain text");
}

TEST(CliReferenceTest, ManPageRendersWithoutGroffWarnings)
{
    if (!host::findOnPath("groff")) {
        GTEST_SKIP() << "groff is not installed (scripts/install-deps.sh installs groff-base)";
    }
    // Minimal systems may install groff without its macro files.
    const auto probe = host::runProgram({"sh", "-c", "printf '.TH T 1\\n' | groff -man -Tascii -z 2>&1"});
    if (probe.exitCode != 0 || !probe.output.empty()) {
        GTEST_SKIP() << "groff cannot load its man macros here: " << probe.output;
    }
    const std::string page = KESTRAVA_CLI_MAN_PAGE;
    // Only the warnings: the rendered text goes to /dev/null.
    const auto warnings = host::runProgram(
        {"sh", "-c", "LC_ALL=C.UTF-8 groff -ww -z -man -Tascii \"$0\" 2>&1 >/dev/null", page});
    ASSERT_TRUE(warnings.started);
    EXPECT_EQ(warnings.exitCode, 0);
    EXPECT_EQ(warnings.output, "");
    const auto rendered = host::runProgram({"sh", "-c", "LC_ALL=C groff -man -Tascii -P-cbou \"$0\"", page});
    ASSERT_EQ(rendered.exitCode, 0) << rendered.output;
    EXPECT_NE(rendered.output.find("kestrava-cli unmount --all"), std::string::npos) << rendered.output;
    EXPECT_NE(rendered.output.find("--no-prompt"), std::string::npos);
}

class BashCompletionTest : public ::testing::Test
{
protected:
    // What the completion function offers for the words typed, the last one being completed.
    std::set<std::string> complete(const std::string& words)
    {
        const std::string script = "cd \"$1\" && source \"$2\" && COMP_WORDS=(" + words +
                                   ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && "
                                   "_kestrava_cli && printf '%s\\n' \"${COMPREPLY[@]}\"";
        const auto run = host::runProgram(
            {"bash", "--norc", "--noprofile", "-c", script, "bash", dir.path().string(), KESTRAVA_CLI_BASH});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::set<std::string> offered;
        std::istringstream in(run.output);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty()) {
                offered.insert(line);
            }
        }
        return offered;
    }

    void SetUp() override
    {
        if (!host::findOnPath("bash")) {
            GTEST_SKIP() << "bash is missing";
        }
        std::ofstream(dir / "settings.xml") << "x";
        std::ofstream(dir / "other.txt") << "x";
    }

    test::TempDir dir;
};

TEST_F(BashCompletionTest, CompletesCommandsOptionsAndTheirValues)
{
    EXPECT_EQ(complete("kestrava-cli mo"), (std::set<std::string>{"mount"}));
    EXPECT_EQ(complete("kestrava-cli un"), (std::set<std::string>{"unmount"}));
    EXPECT_EQ(complete("kestrava-cli se"), (std::set<std::string>{"settings"})) << "serve is internal";
    EXPECT_EQ(complete("kestrava-cli help unm"), (std::set<std::string>{"unmount"}));
    EXPECT_EQ(complete("kestrava-cli mount --a"), (std::set<std::string>{"--all", "--allow-other"}));
    EXPECT_EQ(complete("kestrava-cli unmount --a"), (std::set<std::string>{"--all"}));
    // Global options count after the command as well.
    EXPECT_TRUE(complete("kestrava-cli list --").count("--config"));
    EXPECT_TRUE(complete("kestrava-cli list --").count("--json"));
    EXPECT_FALSE(complete("kestrava-cli list --").count("--all"));
    // A file value is completed from the folder; a letter is not guessed.
    EXPECT_EQ(complete("kestrava-cli --config se"), (std::set<std::string>{"settings.xml"}));
    EXPECT_EQ(complete("kestrava-cli create x --letter ''"), (std::set<std::string>{}));
    EXPECT_EQ(complete("kestrava-cli create x --remember o"),
              (std::set<std::string>{"on", "off", "other.txt"}));
}

TEST_F(BashCompletionTest, OffersEveryListedCommand)
{
    const auto offered = complete("kestrava-cli ''");
    for (const std::string& command : helpCommands()) {
        EXPECT_TRUE(offered.count(command)) << command;
    }
    EXPECT_TRUE(offered.count("help"));
    EXPECT_EQ(offered.size(), helpCommands().size() + 1);
}

TEST(ZshCompletionTest, ParsesAndNamesEveryCommand)
{
    const std::string text = readFile(KESTRAVA_CLI_ZSH);
    ASSERT_TRUE(text.starts_with("#compdef kestrava-cli\n"));
    for (const std::string& command : helpCommands()) {
        EXPECT_NE(text.find("\n  '" + command + ":"), std::string::npos) << command;
        EXPECT_NE(text.find("\n  " + command + ")\n"), std::string::npos) << command;
    }
    if (!host::findOnPath("zsh")) {
        GTEST_SKIP() << "zsh is not installed (scripts/install-deps.sh installs it): syntax not checked";
    }
    const auto syntax = host::runProgram({"zsh", "-n", KESTRAVA_CLI_ZSH});
    EXPECT_EQ(syntax.exitCode, 0) << syntax.output;
}

} // namespace
} // namespace kestrava::cli
