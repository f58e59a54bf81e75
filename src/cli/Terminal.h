// The controlling terminal, where questions and passwords are asked.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <optional>
#include <string_view>

namespace kestrava::cli {

// Writes the prompt to /dev/tty and reads one line from it; with echo off the typed characters
// are not shown (passwords). Nothing when there is no terminal (noTerminal is then set) or when
// the input ended before anything was typed.
std::optional<crypto::SecureString> readTerminalLine(std::string_view prompt, bool echo,
                                                     bool* noTerminal = nullptr);

} // namespace kestrava::cli
