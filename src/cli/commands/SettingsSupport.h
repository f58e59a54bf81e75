// Opening the settings file for a command, the way the desktop app does at start: find it
// (--config, else "ConfigFile" of the per-user registry, else the default location), then
// check its digest, announcing a damaged file and removing its remembered passwords.
// Every command that reads the settings file calls openSettings first; it also passes the
// program lock (ProgramLock.h), which leaves the run state in the context.
#pragma once

#include "cli/Command.h"
#include "core/settings/SettingsFile.h"

#include <filesystem>
#include <optional>

namespace kestrava::cli {

// The settings path of this run without asking anything or changing anything: --config,
// else a non-empty "ConfigFile", else the default location. configured tells which.
std::filesystem::path settingsPathForRun(const GlobalOptions& globals, bool* fromRegistry = nullptr);

// Locates and validates the settings file; nothing after a failure already reported on
// standard error (exitCode says which).
std::optional<settings::SettingsFile> openSettings(CommandContext& context, ExitCode& exitCode);

} // namespace kestrava::cli
