// What the drive flows work with. The front end owns each piece and hands the flows references;
// nothing here is process-wide.
#pragma once

#include "core/drives/DriveListModel.h"
#include "core/settings/SavedPasswords.h"

#include <functional>

namespace kestrava {
class Prompter;
}
namespace kestrava::settings {
class SettingsFile;
}
namespace kestrava::host {
class DriveHost;
}

namespace kestrava::drives {

class MountedDrives;

struct DriveServices
{
    const settings::SettingsFile& settings;
    Prompter& prompter;
    host::DriveHost& host;
    MountedDrives& mounted;
    DriveListModel& rows;
    // Sync-client folders for the row icons; empty: every row gets icon 0.
    CloudFolderLookup cloudFolders = {};
    // Asks the front end to rebuild the list (the desktop app does it on a worker thread);
    // empty: the flow rebuilds it itself before returning.
    std::function<void()> requestRefresh = {};
    // Whether the program lock was in force for this run: remembered passwords stored under
    // the login layer are written and read back with it.
    LoginLayerState loginLayer = {};
};

} // namespace kestrava::drives
