#include "cli/commands/DriveCommandSupport.h"

#include "cli/commands/CommandSupport.h"
#include "cli/commands/SettingsSupport.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"

namespace kestrava::cli {
namespace {
constexpr int kMsgSettingsUnusable = 1262; // the settings file cannot be read (path, reason)
} // namespace

DriveRun::DriveRun(CommandContext& context)
    : m_context(context), m_prompter(context.io, context.passwords, context.globals.assumeYes),
      m_login(context), m_session(m_prompter, m_login)
{
}

void DriveRun::loadRows()
{
    drives::DriveListModel& list = rows();
    list.clear();
    for (const drives::DriveRow& row : drives::listDriveRows(settings(), host(), services().cloudFolders)) {
        list.addRow(row);
    }
}

std::optional<std::size_t> DriveRun::findDrive(const std::string& name, ExitCode& exitCode)
{
    const auto letter = drives::normalizeDriveLetter(name);
    const std::string folder = letter ? std::string() : drives::normalizeBackingFolder(name);
    std::optional<std::size_t> found;
    const auto rows = m_session.rows().rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool match =
            letter ? drives::sameDriveLetter(rows[i].letter, *letter) : rows[i].folder() == folder;
        if (!match) {
            continue;
        }
        if (found) {
            exitCode = fail(m_context.io, "several drives use " + name + "; name the drive by its folder");
            return std::nullopt;
        }
        found = i;
    }
    if (!found) {
        exitCode = fail(m_context.io, "no drive " + name + " in " + settings().path().string());
    }
    return found;
}

ExitCode DriveRun::stopped()
{
    if (m_prompter.unanswered()) {
        return fail(m_context.io, kNoTerminalForQuestion);
    }
    return ExitCode::Failure;
}

std::unique_ptr<DriveRun> openDriveRun(CommandContext& context, ExitCode& exitCode)
{
    auto run = std::make_unique<DriveRun>(context);
    exitCode = openSession(context, run->session());
    if (exitCode != ExitCode::Success) {
        return nullptr;
    }
    // A file that exists but cannot be read holds drives nobody can see: listing "no drives"
    // or acting on none would hide them, so every drive command stops here.
    const settings::LoadedSettings loaded = run->settings().load();
    if (loaded.status != settings::LoadStatus::Loaded && loaded.status != settings::LoadStatus::Missing) {
        exitCode = failWithMessage(context.io, kMsgSettingsUnusable,
                                   {run->settings().path().string(), loaded.error});
        return nullptr;
    }
    std::shared_ptr<host::DriveHost> host = context.makeHost ? context.makeHost(context.globals) : nullptr;
    if (!host) {
        exitCode = fail(context.io, "this build of kestrava-cli cannot mount drives (no FUSE host)");
        return nullptr;
    }
    run->session().startDrives(std::move(host));
    // Each command shows its own result; nothing is to be rebuilt behind it.
    run->services().requestRefresh = [] {};
    return run;
}

std::optional<std::string> driveArgument(CommandContext& context, const ParsedArguments& args,
                                         ExitCode& exitCode)
{
    if (args.positional.size() != 1) {
        exitCode =
            usageError(context.io, args.positional.empty() ? "name the drive by its letter (K:) or folder"
                                                           : "too many arguments");
        return std::nullopt;
    }
    return args.positional.front();
}

} // namespace kestrava::cli
