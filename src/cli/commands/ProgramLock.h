// The program lock for kestrava-cli: openSettings runs unlockProgram for every command that
// reads or changes drives or settings, which asks for the login password and/or the
// one-time code exactly as the desktop app's start-up prompt does.
#pragma once

#include "cli/Command.h"
#include "core/access/ProgramValues.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"

#include <chrono>
#include <filesystem>
#include <functional>

namespace kestrava::cli {

using Clock = std::function<std::chrono::system_clock::time_point()>;

// Asks the entries the lock tests (password first, then code; from the terminal, or one line
// each with --login-stdin) and checks them. Success fills session with the run state (what
// formatDrvPaswd reads); a wrong entry fails with the prompt's message, such as
// "Error! Incorrect password!".
ExitCode checkProgramLock(CommandContext& context, ProgramValues& values,
                          const std::filesystem::path& settingsPath, LoginLayerState& session,
                          const Clock& clock);

// The lock over the given settings file, leaving the run state in context.loginSession.
ExitCode unlockProgram(CommandContext& context, const settings::SettingsFile& file,
                       const Clock& clock = std::chrono::system_clock::now);

} // namespace kestrava::cli
