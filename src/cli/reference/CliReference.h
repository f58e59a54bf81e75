// kestrava-cli's manual page and shell completions, written from the same command table that
// prints --help (see cli/Cli.h). The build runs kestrava-cli-reference to write them.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace kestrava::cli::reference {

// The roff source of kestrava-cli(1).
void writeManPage(std::ostream& out, std::string_view version);
// A bash completion script (plain `complete -F`, no helper package needed).
void writeBashCompletion(std::ostream& out);
// A zsh completion function file (#compdef kestrava-cli).
void writeZshCompletion(std::ostream& out);

// Text made safe for a roff text line: backslashes and hyphens escaped, a leading control
// character neutralised.
std::string roffText(std::string_view text);

} // namespace kestrava::cli::reference
