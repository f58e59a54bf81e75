// What the user is told when the host could not mount a drive.
#pragma once

#include "core/host/DriveHost.h"

#include <string>

namespace kestrava {
class Prompter;
}

namespace kestrava::drives {

// One message for the host's reason: FUSE missing (93), an unusable path (127), the letter in
// use (1202), anything else (1214, with the host's detail).
void reportMountFailure(Prompter& prompter, const std::string& letter, const host::MountResult& result);

} // namespace kestrava::drives
