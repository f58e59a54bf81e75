// What the drive commands share: the settings file opened behind the program lock, the drive
// host, the terminal prompter, and the drive list filled from the records, with a drive named
// by its letter ("K:") or its backing folder.
#pragma once

#include "cli/Command.h"
#include "cli/TerminalPrompter.h"
#include "cli/commands/ProgramLock.h"
#include "core/drives/DriveListModel.h"
#include "core/drives/DriveServices.h"
#include "core/session/AppSession.h"
#include "core/settings/SettingsFile.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrava::cli {

class DriveRun
{
public:
    explicit DriveRun(CommandContext& context);

    drives::DriveServices& services() { return m_session.services(); }
    TerminalPrompter& prompter() { return m_prompter; }
    host::DriveHost& host() { return m_session.host(); }
    const settings::SettingsFile& settings() const { return m_session.settings(); }
    drives::DriveListModel& rows() { return m_session.rows(); }
    session::AppSession& session() { return m_session; }

    // Rebuilds the list from the records without asking or mounting.
    void loadRows();

    // The row of the drive named by text: a letter, or a backing folder. Fails (reported)
    // when no drive or several drives match.
    std::optional<std::size_t> findDrive(const std::string& name, ExitCode& exitCode);

    // Failure after a flow stopped: the unanswered-question line when that was the reason;
    // otherwise the flow's own messages have said why.
    ExitCode stopped();

private:
    CommandContext& m_context;
    TerminalPrompter m_prompter;
    TerminalLoginAnswerer m_login;
    session::AppSession m_session;
};

// Opens the settings file (located and checked, then the program lock) and the host.
// Nothing after a failure already reported.
std::unique_ptr<DriveRun> openDriveRun(CommandContext& context, ExitCode& exitCode);

// The single DRIVE argument (letter or folder) of a command.
std::optional<std::string> driveArgument(CommandContext& context, const ParsedArguments& args,
                                         ExitCode& exitCode);

} // namespace kestrava::cli
