// Opening the settings file for a command, the way the desktop app does at start (the core's
// AppSession): find it (--config, else "ConfigFile" of the per-user registry, else the default
// location), check its digest, then pass the program lock on the terminal. Every command that
// reads the settings file opens it this way, which leaves the run state in the context.
#pragma once

#include "cli/Command.h"
#include "core/session/AppSession.h"
#include "core/settings/SettingsFile.h"

#include <filesystem>
#include <optional>

namespace kestrava::cli {

// The settings path of this run without asking anything or changing anything: --config,
// else a non-empty "ConfigFile", else the default location. configured tells which.
std::filesystem::path settingsPathForRun(const GlobalOptions& globals, bool* fromRegistry = nullptr);

// Opens session for this run; every failure is reported on standard error. Success leaves
// the program lock's run state in context.loginSession.
ExitCode openSession(CommandContext& context, session::AppSession& session);

// Locates and validates the settings file; nothing after a failure already reported on
// standard error (exitCode says which).
std::optional<settings::SettingsFile> openSettings(CommandContext& context, ExitCode& exitCode);

} // namespace kestrava::cli
