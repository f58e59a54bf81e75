#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"
#include "core/host/DriveHost.h"
#include "core/settings/SettingsDocument.h"

#include <algorithm>
#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kTextCurrentPassword = 8; // "Current Password:"
constexpr int kTextNewPassword = 57;    // "New Password:"
constexpr int kTextConfirm = 9;         // "Confirm Password:"
constexpr int kMsgIncorrectPassword = 152;

// Answers the drive password prompt with a password typed before the flow asked (the current
// password of --change-password, which both unlocks the drive and proves the change may be
// made); everything else goes to the terminal.
class CurrentPasswordPrompter : public Prompter
{
public:
    CurrentPasswordPrompter(Prompter& terminal, const crypto::SecureString& current)
        : m_terminal(terminal), m_current(current)
    {
    }

    Button messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                      Icon icon) override
    {
        return m_terminal.messageBox(messageId, args, buttons, icon);
    }
    Button messageBoxWithCaption(int captionId, int messageId, const std::vector<std::string>& args,
                                 Buttons buttons, Icon icon) override
    {
        return m_terminal.messageBoxWithCaption(captionId, messageId, args, buttons, icon);
    }
    DrivePasswordAnswer askDrivePassword(const DrivePasswordRequest& request) override
    {
        DrivePasswordAnswer answer;
        answer.autoMount = request.autoMount;
        if (request.check && !request.check(m_current)) {
            m_wrongPassword = true;
            answer.outcome = PasswordOutcome::Cancelled;
            return answer;
        }
        answer.outcome = PasswordOutcome::Entered;
        answer.password = m_current;
        return answer;
    }
    void balloon(int fieldId, int messageId, Icon icon) override
    {
        m_terminal.balloon(fieldId, messageId, icon);
    }
    void titledBalloon(int fieldId, int titleId, int textId, Icon icon) override
    {
        m_terminal.titledBalloon(fieldId, titleId, textId, icon);
    }
    void status(const std::string& text) override { m_terminal.status(text); }

    bool wrongPassword() const { return m_wrongPassword; }

private:
    Prompter& m_terminal;
    const crypto::SecureString& m_current;
    bool m_wrongPassword = false;
};

struct Requested
{
    std::optional<std::string> label;
    std::optional<std::string> letter;
    std::optional<bool> autoMount;
    std::optional<bool> remember;
    std::optional<bool> nameEncryption;
    std::optional<bool> caseInsensitive;
    std::optional<bool> longNames;
    bool changePassword = false;
};

class EditCommand : public Command
{
public:
    std::string name() const override { return "edit"; }
    std::string summary() const override { return "change a drive's label, letter, options or password"; }
    std::string usage() const override
    {
        return "edit K:|FOLDER [--label TEXT] [--letter L:] [--automount on|off] [--remember on|off] "
               "[--name-encryption on|off] [--case-insensitive on|off] [--long-names on|off] "
               "[--change-password] [--yes]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"label", true, "TEXT", "the drive's new label"},
            {"letter", true, "L:", "the drive's new letter; a mounted drive is mounted again under it"},
            switchOption("automount", "mount the drive at start (mount --all)"),
            switchOption("remember", "remember the drive password in the settings file"),
            switchOption("name-encryption",
                         "encrypt file names (asks first when the folder holds files, which then become "
                         "unreadable through the drive)"),
            switchOption("case-insensitive", "look encrypted names up ignoring case"),
            switchOption("long-names", "the long-file-name option"),
            {"change-password", false, "", "change the drive password (asks current, new and confirmation)"},
            aliasOption("plain-names", "name-encryption", "off"),
            aliasOption("case-sensitive", "case-insensitive", "off"),
            aliasOption("no-long-names", "long-names", "off"),
            aliasOption("no-automount", "automount", "off"),
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        ExitCode exitCode = ExitCode::Success;
        const auto name = driveArgument(context, args, exitCode);
        if (!name) {
            return exitCode;
        }
        Requested wanted;
        wanted.autoMount = args.switchValue("automount");
        wanted.remember = args.switchValue("remember");
        wanted.nameEncryption = args.switchValue("name-encryption");
        wanted.caseInsensitive = args.switchValue("case-insensitive");
        wanted.longNames = args.switchValue("long-names");
        if (const auto letter = args.value("letter")) {
            wanted.letter = drives::normalizeDriveLetter(*letter);
            if (!wanted.letter) {
                return usageError(context.io, "edit: --letter needs a drive letter such as K:");
            }
        }
        wanted.label = args.value("label");
        if (wanted.label && wanted.label->empty()) {
            return usageError(context.io, "edit: --label needs a non-empty text");
        }
        if (wanted.label && !settings::isValidUtf8(*wanted.label)) {
            // The settings file holds UTF-8 text only; anything else would not read back.
            return usageError(context.io, "edit: --label is not UTF-8 text");
        }
        wanted.changePassword = args.has("change-password");

        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        const auto index = run->findDrive(*name, exitCode);
        if (!index) {
            return exitCode;
        }
        return edit(context, *run, *index, wanted);
    }

private:
    static ExitCode edit(CommandContext& context, DriveRun& run, std::size_t index, const Requested& wanted)
    {
        drives::DriveServices& base = run.services();
        base.loginLayer = context.loginSession;
        const drives::DriveRow row = *run.rows().row(index);

        // The drive is unlocked here: its serving process, if it is mounted, is another process.
        // With --change-password the current password is asked first and does both jobs.
        crypto::SecureString current;
        const bool askCurrentFirst = wanted.changePassword && !row.passwordRemembered;
        if (askCurrentFirst) {
            auto typed = askPassword(context, loadAppString(kTextCurrentPassword) + " ");
            if (!typed) {
                return ExitCode::Failure;
            }
            current = std::move(*typed);
        }
        CurrentPasswordPrompter presetPrompter(run.prompter(), current);
        Prompter& prompter = askCurrentFirst ? static_cast<Prompter&>(presetPrompter) : run.prompter();
        drives::DriveServices services{base.settings,       prompter,       base.host,
                                       base.mounted,        base.rows,      base.cloudFolders,
                                       base.requestRefresh, base.loginLayer};
        auto session = drives::beginDriveEdit(services, index);
        if (!session) {
            if (presetPrompter.wrongPassword()) {
                return failWithMessage(context.io, kMsgIncorrectPassword);
            }
            if (const auto problem = tokenProblem(row.folder())) {
                return fail(context.io, *problem);
            }
            return run.stopped();
        }
        token::DriveContext& drive = *session->context;

        drives::DriveEdit edit = drives::editFieldsFor(drive);
        edit.label = wanted.label.value_or(edit.label);
        edit.autoMount = wanted.autoMount.value_or(edit.autoMount);
        edit.options.fileNameEncryption = wanted.nameEncryption.value_or(edit.options.fileNameEncryption);
        edit.options.caseInsensitive = wanted.caseInsensitive.value_or(edit.options.caseInsensitive);
        edit.options.longFileNames = wanted.longNames.value_or(edit.options.longFileNames);
        if (wanted.letter && !drives::sameDriveLetter(*wanted.letter, drive.driveLetter())) {
            const auto choices = drives::editLetterChoices(run.host(), drive);
            if (std::find(choices.begin(), choices.end(), *wanted.letter) == choices.end()) {
                return fail(context.io, "drive letter " + *wanted.letter + " is in use (" +
                                            run.host().mountPointFor(*wanted.letter).string() + ")");
            }
            edit.letter = *wanted.letter;
        }
        if (wanted.remember) {
            if (edit.rememberPassword && !*wanted.remember && !drives::confirmForgetPassword(prompter)) {
                return run.stopped();
            }
            edit.rememberPassword = *wanted.remember;
        }
        if (wanted.changePassword && !readPasswordChange(context, askCurrentFirst, current, edit)) {
            return ExitCode::Failure;
        }

        const drives::EditOutcome outcome = drives::confirmDriveEdit(services, *session, edit);
        if (outcome == drives::EditOutcome::Stopped) {
            return run.stopped();
        }
        if (outcome == drives::EditOutcome::SaveFailed) {
            // The record was not rewritten: the mounted drive stays as the record has it.
            return ExitCode::Failure;
        }
        if (!drives::finishDriveEdit(services, *session, true)) {
            return ExitCode::Failure;
        }
        context.io.out << "Edited drive " << drive.driveLetter() << " (" << drive.label() << ") over "
                       << drive.backingFolder().string() << "\n";
        if (session->mounted) {
            context.io.out << "Mounted at " << run.host().mountPointFor(drive.driveLetter()).string() << "\n";
        }
        return ExitCode::Success;
    }

    // The current password (unless it was asked already), the new one and its confirmation.
    static bool readPasswordChange(CommandContext& context, bool haveCurrent,
                                   const crypto::SecureString& current, drives::DriveEdit& edit)
    {
        edit.changePassword = true;
        if (haveCurrent) {
            edit.currentPassword = current;
        } else {
            auto typed = askPassword(context, loadAppString(kTextCurrentPassword) + " ");
            if (!typed) {
                return false;
            }
            edit.currentPassword = std::move(*typed);
        }
        auto next = askPassword(context, loadAppString(kTextNewPassword) + " ");
        if (!next) {
            return false;
        }
        auto confirmation = askPassword(context, loadAppString(kTextConfirm) + " ");
        if (!confirmation) {
            return false;
        }
        edit.newPassword = std::move(*next);
        edit.confirmation = std::move(*confirmation);
        return true;
    }
};

} // namespace

std::unique_ptr<Command> makeEditCommand()
{
    return std::make_unique<EditCommand>();
}

} // namespace kestrava::cli
