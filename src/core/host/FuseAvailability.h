// Whether FUSE can serve drives on this machine, and putting it there or taking it away.
// FUSE is the distribution's fuse3 package: installing and removing it goes through pkexec
// (or runs directly as root); without either, the user is told the command to run.
#pragma once

namespace kestrava {
class Prompter;
}

namespace kestrava::host {

// /dev/fuse opens for reading and writing, and fusermount3 is on the PATH.
bool isFuseUsable();

// Installs fuse3. True when FUSE is usable afterwards (or already was).
bool FsInstall(Prompter& prompter);

// Removes fuse3 after the usual questions. Does nothing (with message 122) when it is not there.
void FsUninstall(Prompter& prompter);

// Drives carry no custom icon on Linux: nothing is registered, and the query reports none.
bool FSCustomIcon(bool install);

} // namespace kestrava::host
