#include "cli/commands/TotpCommand.h"

#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/SettingsSupport.h"
#include "core/access/Base32.h"
#include "core/access/GoogleAuth.h"
#include "core/access/PairingDialogModel.h"
#include "core/access/PasswordRule.h"
#include "core/access/QrMatrix.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/SettingsProgramValues.h"

#include <algorithm>
#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgScanBarcode = 188;
constexpr int kMsgVerifyPairing = 190;
constexpr int kMsgAccountLabel = 259; // "Account:"
constexpr int kMsgKeyLabel = 260;     // "Key:"
constexpr int kMsgIncorrectCode = 152;
constexpr int kMsgSyncClocks = 348;
constexpr int kMsgCodeHasSixDigits = 1261;
constexpr std::size_t kCodeFieldDigits = 6;

// The pairing dialog's code field takes up to six digits and nothing else.
bool fitsCodeField(std::string_view code)
{
    return !code.empty() && code.size() <= kCodeFieldDigits &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

class TotpCommand : public Command
{
public:
    explicit TotpCommand(TotpSources sources) : m_sources(std::move(sources)) {}

    std::string name() const override { return "totp"; }
    std::string summary() const override
    {
        return "pair an authenticator app, or switch one-time codes at start";
    }
    std::string usage() const override { return "totp pair [--account NAME] | totp on|off|clear"; }
    std::vector<OptionDefinition> options() const override
    {
        return {{"account", true, "NAME", "the account name shown in the app (pair only)"}};
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 1) {
            return usageError(context.io, args.positional.empty() ? "totp: what to do is missing"
                                                                  : "totp: too many arguments");
        }
        const std::string& action = args.positional.front();
        if (action != "pair" && action != "on" && action != "off" && action != "clear") {
            return usageError(context.io, "totp: unknown action '" + action + "'");
        }
        if (action != "pair" && args.has("account")) {
            return usageError(context.io, "totp: --account belongs to 'totp pair'");
        }
        std::string account;
        if (const auto given = args.value("account")) {
            account = *given;
            if (trimmed(account).empty() || countCharacters(account) > kMaxAccountNameCharacters) {
                return usageError(context.io, "totp: the account name must have 1 to 127 characters");
            }
        }
        ExitCode exitCode = ExitCode::Success;
        auto opened = openSettings(context, exitCode);
        if (!opened) {
            return exitCode;
        }
        settings::SettingsProgramValues values(*opened);
        if (action == "pair") {
            return pair(context, *opened, values, account);
        }
        if (action == "clear") {
            if (!clearGoogleAuth(values)) {
                return writeFailed(context, *opened);
            }
            context.io.out << "The authenticator pairing was removed; no code is asked.\n";
            return ExitCode::Success;
        }
        GoogleAuthState state = loadGoogleAuth(values);
        state.enabled = action == "on";
        // Switching codes on without a usable secret would lock every command out for good.
        if (state.enabled && decodeOneTimeCodeKey(state.secret).empty()) {
            return fail(context.io, "no authenticator app is paired; use 'kestrava-cli totp pair'");
        }
        if (!saveGoogleAuth(values, state, GoogleAuthPart::Enabled)) {
            return writeFailed(context, *opened);
        }
        context.io.out << (state.enabled ? "A one-time code is now required.\n"
                                         : "One-time codes are no longer required.\n");
        return ExitCode::Success;
    }

private:
    static ExitCode writeFailed(CommandContext& context, const settings::SettingsFile& opened)
    {
        return failWithMessage(context.io, kMsgCannotLoadSettings, {opened.path().string()});
    }

    ExitCode pair(CommandContext& context, const settings::SettingsFile& opened, ProgramValues& values,
                  const std::string& account)
    {
        const GoogleAuthState state = loadGoogleAuth(values);
        // The terminal walks through the desktop app's pairing dialog: a fresh secret under
        // the proposed (or given) account name, then the first code, then OK.
        const crypto::SecureString generated = m_sources.newSecret();
        PairingDialogModel dialog(state, generated);
        if (!account.empty()) {
            dialog.editAccount(account);
        }
        dialog.generate(generated);
        const std::string address = dialog.imageAddress().value_or(std::string());

        std::ostream& out = context.io.out;
        out << loadAppString(kMsgAccountLabel) << " " << dialog.accountField() << "\n"
            << loadAppString(kMsgKeyLabel) << " " << dialog.keyField() << "\n"
            << "Address: " << address << "\n\n"
            << loadAppString(kMsgScanBarcode) << "\n";
        if (const auto matrix = encodeQrMatrix(address)) {
            out << renderQrForTerminal(*matrix);
        } else {
            out << "(the address is too long for a QR code; type the key into the app instead)\n";
        }
        out << loadAppString(kMsgVerifyPairing) << "\n";
        out.flush();

        const auto code = askPassword(context, "Passcode: ");
        if (!code) {
            return ExitCode::Failure;
        }
        if (fitsCodeField(*code) && code->size() < kCodeFieldDigits) {
            // Digits, but too few: say so rather than blame the clocks.
            writeLog("!totp pair: the code has fewer than six digits");
            return failWithMessage(context.io, kMsgCodeHasSixDigits);
        }
        if (!fitsCodeField(*code) || dialog.verify(*code, m_sources.clock()) != CodeCheck::Accepted) {
            writeLog("!totp pair: the first code did not verify");
            return fail(context.io, loadAppString(kMsgIncorrectCode) + " " + loadAppString(kMsgSyncClocks));
        }
        if (!dialog.accept(values)) {
            return writeFailed(context, opened);
        }
        out << "Paired with the account " << dialog.accountField() << ".";
        if (!state.enabled) {
            out << " Run 'kestrava-cli totp on' to require a code at start.";
        }
        out << "\n";
        return ExitCode::Success;
    }

    TotpSources m_sources;
};

} // namespace

std::unique_ptr<Command> makeTotpCommand(TotpSources sources)
{
    return std::make_unique<TotpCommand>(std::move(sources));
}

std::unique_ptr<Command> makeTotpCommand()
{
    return makeTotpCommand({generateGoogleAuthSecret, std::chrono::system_clock::now});
}

} // namespace kestrava::cli
