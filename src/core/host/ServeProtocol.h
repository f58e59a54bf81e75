// How the host and a serving process talk while a drive is being mounted. The host passes the
// drive password through one pipe (the 64 hexadecimal characters, nothing else, then end of
// file) and reads one line back on another: "ready" once the drive is mounted, or
// "error <kind> <detail>" when it could not be. Nothing secret travels on the command line.
#pragma once

#include "core/host/DriveHost.h"

#include <string>
#include <string_view>

namespace kestrava::host {

std::string formatReadyLine();
std::string formatErrorLine(MountOutcome outcome, std::string_view detail);

// The result a line stands for; Failed with a description for anything unreadable.
MountResult parseStatusLine(std::string_view line);

std::string_view outcomeName(MountOutcome outcome);

} // namespace kestrava::host
