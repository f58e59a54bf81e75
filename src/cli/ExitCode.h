// Exit codes of kestrava-cli (documented in docs/cli.md).
#pragma once

namespace kestrava::cli {

enum class ExitCode : int
{
    Success = 0, // the command did what it was asked
    Failure = 1, // it could not; one line on standard error says why
    Usage = 2,   // the command line was wrong; nothing was done
};

} // namespace kestrava::cli
