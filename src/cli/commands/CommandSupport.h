// What several commands share: asking passwords under the program's rules, and reporting the
// core's message ids on standard error.
#pragma once

#include "cli/Command.h"
#include "core/crypto/SecureBytes.h"
#include "core/token/DriveContext.h"

#include <filesystem>
#include <optional>
#include <string>

namespace kestrava::cli {

// The message with that id (placeholders filled in order) as the failure line.
ExitCode failWithMessage(Io& io, int messageId, const std::vector<std::string>& arguments = {});

// Asks one password; nothing after a failure already reported on standard error.
std::optional<crypto::SecureString> askPassword(CommandContext& context, const std::string& prompt);

// Asks a new password and its confirmation and applies the password rule; nothing after a
// failure already reported.
std::optional<crypto::SecureString> askNewPassword(CommandContext& context, const std::string& prompt);

// Asks the drive's current password and unlocks ctx with it from the token in folder.
ExitCode unlockWithPrompt(CommandContext& context, token::DriveContext& ctx,
                          const std::filesystem::path& folder, const std::string& prompt);

// What keeps the security token in folder from being read, as a failure line: missing,
// unreadable, or not a token, followed by how to recover from a backup. Nothing when it reads.
std::optional<std::string> tokenProblem(const std::filesystem::path& folder);

// The single FOLDER argument of a token command.
std::optional<std::filesystem::path> folderArgument(CommandContext& context, const ParsedArguments& args,
                                                    ExitCode& exitCode);

} // namespace kestrava::cli
