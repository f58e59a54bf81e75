#include "cli/commands/CommandSupport.h"

#include "cli/PasswordInput.h"
#include "core/access/PasswordRule.h"
#include "core/app/StringTable.h"
#include "core/settings/SavedPasswords.h"

#include <ostream>

namespace kestrava::cli {

namespace {
constexpr int kMsgReadImportFailed = 28; // "Error! There was a problem reading the import file:\n%s"
constexpr int kMsgIncorrectPassword = 152;
constexpr int kMsgConfirmPassword = 9; // "Confirm Password:"
} // namespace

ExitCode failWithMessage(Io& io, int messageId, const std::vector<std::string>& arguments)
{
    return fail(io, formatAppString(loadAppString(messageId), arguments));
}

std::optional<crypto::SecureString> askPassword(CommandContext& context, const std::string& prompt)
{
    std::string error;
    auto password = context.passwords.ask(prompt, error);
    if (!password) {
        fail(context.io, error);
    }
    return password;
}

std::optional<crypto::SecureString> askNewPassword(CommandContext& context, const std::string& prompt)
{
    auto password = askPassword(context, prompt);
    if (!password) {
        return std::nullopt;
    }
    auto confirmation = askPassword(context, loadAppString(kMsgConfirmPassword) + " ");
    if (!confirmation) {
        return std::nullopt;
    }
    if (const int message = checkNewPassword(*password, *confirmation); message != 0) {
        failWithMessage(context.io, message);
        return std::nullopt;
    }
    return password;
}

ExitCode unlockWithPrompt(CommandContext& context, token::DriveContext& ctx,
                          const std::filesystem::path& folder, const std::string& prompt)
{
    const auto password = askPassword(context, prompt);
    if (!password) {
        return ExitCode::Failure;
    }
    ctx.SetPassword(hashStr(*password));
    std::string error;
    switch (ctx.unlock(token::tokenPathFor(folder), &error)) {
    case token::TokenLoadStatus::Loaded:
        return ExitCode::Success;
    case token::TokenLoadStatus::WrongPassword:
        return failWithMessage(context.io, kMsgIncorrectPassword);
    case token::TokenLoadStatus::Unreadable:
    case token::TokenLoadStatus::Malformed:
        break;
    }
    return failWithMessage(context.io, kMsgReadImportFailed, {error});
}

std::optional<std::filesystem::path> folderArgument(CommandContext& context, const ParsedArguments& args,
                                                    ExitCode& exitCode)
{
    if (args.positional.size() != 1) {
        exitCode =
            usageError(context.io, args.positional.empty() ? "FOLDER is missing" : "too many arguments");
        return std::nullopt;
    }
    return std::filesystem::path(args.positional.front());
}

} // namespace kestrava::cli
