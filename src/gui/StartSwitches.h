// The desktop app's command-line switches.
#pragma once

#include <QStringList>

namespace kestrava::gui {

struct StartSwitches
{
    bool installDriver = false; // "/installdrv", "--install-fuse": install FUSE, then exit
    bool removeDriver = false;  // "/removedrv", "--remove-fuse": remove FUSE, then exit
    bool runOnce = false;       // "/runonce", "--run-once": first-run tasks one second after start
    bool minimized = false;     // "/min", "--minimized": start hidden in the tray

    // The driver operations run beside a running copy, so they skip the single-instance check.
    bool skipsSingleInstance() const { return installDriver || removeDriver; }
};

// The slash forms are found anywhere in the command line, also inside another argument, and
// case-sensitively, as they always were; the long forms must be whole arguments. args excludes
// the program name.
StartSwitches parseStartSwitches(const QStringList& args);

} // namespace kestrava::gui
