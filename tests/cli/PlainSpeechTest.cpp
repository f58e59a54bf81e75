// How kestrava-cli talks: the answers its questions take, help and version, and one spelling
// per setting across commands with the old spellings kept.
#include "CliTestSupport.h"
#include "cli/Arguments.h"
#include "cli/PasswordInput.h"
#include "cli/TerminalPrompter.h"
#include "core/Version.h"
#include "core/app/ActivityLog.h"
#include "support/TestSupport.h"

#include <deque>
#include <gtest/gtest.h>
#include <sstream>

namespace kestrava::cli {
namespace {

using test::runCliInProcess;

// Answers one question per typed line; nothing once the lines run out.
Button answer(Buttons buttons, std::deque<std::string> lines, std::string* err = nullptr)
{
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream errors;
    Io io{in, out, errors, false};
    PasswordInput passwords(io, false);
    TerminalPrompter prompter(io, passwords, false, [&](const std::string&) -> std::optional<std::string> {
        if (lines.empty()) {
            return std::nullopt;
        }
        std::string line = lines.front();
        lines.pop_front();
        return line;
    });
    const Button chosen = prompter.messageBox(1206, {}, buttons, Icon::Question);
    if (err != nullptr) {
        *err = errors.str();
    }
    return chosen;
}

TEST(CliAnswers, YesNoTakesWordsAndLettersInAnyCaseAndEnterMeansNo)
{
    for (const char* yes : {"y", "Y", "yes", "YES", " Yes\r"}) {
        EXPECT_EQ(answer(Buttons::YesNo, {yes}), Button::Yes) << yes;
    }
    for (const char* no : {"n", "N", "no", "No", ""}) {
        EXPECT_EQ(answer(Buttons::YesNo, {no}), Button::No) << '"' << no << '"';
    }
    EXPECT_EQ(answer(Buttons::YesNoCancel, {""}), Button::Cancel);
    EXPECT_EQ(answer(Buttons::YesNoCancel, {"CANCEL"}), Button::Cancel);
}

TEST(CliAnswers, OkCancelTakesOkCancelAndYesNoAndEnterMeansCancel)
{
    for (const char* ok : {"o", "OK", "ok", "y", "Yes"}) {
        EXPECT_EQ(answer(Buttons::OKCancel, {ok}), Button::OK) << ok;
    }
    for (const char* cancel : {"c", "Cancel", "n", "NO", ""}) {
        EXPECT_EQ(answer(Buttons::OKCancel, {cancel}), Button::Cancel) << '"' << cancel << '"';
    }
}

TEST(CliAnswers, AnythingElseIsAskedAgainNamingTheAnswersAndTheDefault)
{
    std::string err;
    EXPECT_EQ(answer(Buttons::YesNo, {"sure", "yep", "y"}, &err), Button::Yes);
    EXPECT_NE(err.find("answer [y]es/[N]o"), std::string::npos) << err;
    EXPECT_EQ(answer(Buttons::YesNo, {"sure"}), Button::Unavailable) << "input ended: nobody answered";
}

TEST(CliHelp, VersionAndHelpInEveryForm)
{
    test::TempDir dir;
    test::ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    auto result = runCliInProcess({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, std::string("kestrava-cli ") + kProgramVersion + "\n");

    for (const auto& args : {std::vector<std::string>{"-h"}, std::vector<std::string>{"help"}}) {
        result = runCliInProcess(args);
        EXPECT_EQ(result.exitCode, 0) << args.front();
        EXPECT_EQ(result.out.rfind("Usage: kestrava-cli [global options] COMMAND", 0), 0u) << result.out;
    }
    for (const auto& args : {std::vector<std::string>{"help", "edit"}, std::vector<std::string>{"edit", "-h"},
                             std::vector<std::string>{"edit", "--help"}}) {
        result = runCliInProcess(args);
        EXPECT_EQ(result.exitCode, 0) << args.front();
        EXPECT_EQ(result.out.rfind("Usage: kestrava-cli edit K:|FOLDER", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("--plain-names"), std::string::npos)
            << "old spellings are shown as aliases";
    }
    result = runCliInProcess({"help", "nosuch"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("help: unknown command 'nosuch'"), std::string::npos) << result.err;
}

TEST(CliOptions, OneSpellingPerSettingWithTheOldOnesAsAliases)
{
    const std::vector<OptionDefinition> definitions = {switchOption("name-encryption", ""),
                                                       switchOption("remember", ""),
                                                       {"token", true, "FILE", ""},
                                                       aliasOption("plain-names", "name-encryption", "off"),
                                                       aliasOption("import", "token")};
    struct Case
    {
        std::vector<std::string> args;
        std::optional<bool> nameEncryption;
        std::optional<bool> remember;
        std::vector<std::string> positional;
    };
    const Case cases[] = {
        {{"--name-encryption"}, true, std::nullopt, {}},
        {{"--name-encryption", "off", "F"}, false, std::nullopt, {"F"}},
        {{"--name-encryption=on"}, true, std::nullopt, {}},
        {{"--plain-names", "--remember", "F"}, false, true, {"F"}},
        {{"--remember", "off"}, std::nullopt, false, {}},
        {{"--plain-names", "--name-encryption", "off"}, false, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        ParsedArguments parsed;
        std::string error;
        ASSERT_TRUE(parseArguments(c.args, definitions, parsed, error)) << c.args.front() << ": " << error;
        EXPECT_EQ(parsed.switchValue("name-encryption"), c.nameEncryption) << c.args.front();
        EXPECT_EQ(parsed.switchValue("remember"), c.remember) << c.args.front();
        EXPECT_EQ(parsed.positional, c.positional) << c.args.front();
    }
    ParsedArguments parsed;
    std::string error;
    ASSERT_TRUE(parseArguments({"--import", "backup.xml"}, definitions, parsed, error)) << error;
    EXPECT_EQ(parsed.value("token"), "backup.xml");

    for (const auto& bad :
         {std::vector<std::string>{"--plain-names", "--name-encryption", "on"},
          std::vector<std::string>{"--remember=maybe"}, std::vector<std::string>{"--plain-names=on"}}) {
        ParsedArguments refused;
        EXPECT_FALSE(parseArguments(bad, definitions, refused, error)) << bad.front();
    }
}

} // namespace
} // namespace kestrava::cli
