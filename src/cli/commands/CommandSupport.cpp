#include "cli/commands/CommandSupport.h"

#include "cli/PasswordInput.h"
#include "core/access/LegacyCodePage.h"
#include "core/access/PasswordRule.h"
#include "core/app/StringTable.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/HardenedToken.h"
#include "core/token/TokenDocument.h"
#include "core/util/AtomicFile.h"

#include <ostream>

namespace kestrava::cli {

namespace {
constexpr int kMsgReadImportFailed = 28; // "Error! There was a problem reading the import file:\n%s"
constexpr int kMsgIncorrectPassword = 152;
constexpr int kMsgConfirmPassword = 9;    // "Confirm Password:"
constexpr int kMsgTokenMissing = 1263;    // (token path)
constexpr int kMsgTokenUnreadable = 1264; // (token path, reason)
constexpr int kMsgNotAToken = 1265;       // (token path, reason)
constexpr int kMsgRecoverHint = 1266;     // (folder)
constexpr std::size_t kMaxTokenBytes = 64 * 1024;
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
    ctx.SetPassword(drivePasswordFor(token::tokenPathFor(folder), *password));
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
    if (const auto problem = tokenProblem(folder)) {
        return fail(context.io, *problem);
    }
    return failWithMessage(context.io, kMsgReadImportFailed, {error});
}

std::optional<std::string> tokenProblem(const std::filesystem::path& folder)
{
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    std::string problem;
    std::error_code ec;
    std::string xml;
    std::string error;
    token::TokenFields fields;
    if (!std::filesystem::exists(std::filesystem::symlink_status(tokenPath, ec))) {
        problem = formatAppString(loadAppString(kMsgTokenMissing), {tokenPath.string()});
    } else if (!util::readSmallFile(tokenPath, kMaxTokenBytes, xml, error)) {
        problem = formatAppString(loadAppString(kMsgTokenUnreadable), {tokenPath.string(), error});
    } else if (token::HardenedFields hardened; token::isHardenedTokenText(xml)
                                                   ? !token::parseHardenedToken(xml, hardened, error)
                                                   : !token::parseTokenDocument(xml, fields, error)) {
        problem = formatAppString(loadAppString(kMsgNotAToken), {tokenPath.string(), error});
    } else {
        return std::nullopt;
    }
    return problem + "\n" + formatAppString(loadAppString(kMsgRecoverHint), {folder.string()});
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
