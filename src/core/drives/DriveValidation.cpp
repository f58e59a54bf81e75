#include "core/drives/DriveValidation.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"
#include "core/host/DriveHost.h"
#include "core/settings/CaseFold.h"
#include "core/settings/SettingsFile.h"

#include <algorithm>
#include <sys/stat.h>

namespace kestrava::drives {
namespace {

bool compared(const std::string& value)
{
    return value != kNotCompared && !value.empty();
}

// Offers to create a missing folder; false when it is not there afterwards.
bool ensureFolder(Prompter& prompter, const std::string& folder, bool quiet)
{
    std::error_code ec;
    const auto status = std::filesystem::status(folder, ec);
    if (std::filesystem::is_directory(status)) {
        return true;
    }
    if (std::filesystem::exists(status)) {
        // A file of that name: no folder can be made there.
        if (!quiet) {
            prompter.messageBox(kMsgCreateFolderFailed, {folder}, Buttons::OK, Icon::Error);
        }
        return false;
    }
    if (quiet) {
        return true; // quiet checks leave the folder to the prompted check
    }
    if (prompter.messageBox(kMsgCreateFolder, {folder}, Buttons::OKCancel, Icon::Information) != Button::OK) {
        return false;
    }
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        writeLog("!CreateFolder: %s - %s", folder.c_str(), ec.message().c_str());
        prompter.messageBox(kMsgCreateFolderFailed, {folder}, Buttons::OK, Icon::Error);
        return false;
    }
    return true;
}

// The first message that refuses folder next to a drive folder other, or 0.
int overlapWithDrive(const std::filesystem::path& folder, const std::filesystem::path& other)
{
    if (folder == other) {
        return kMsgFolderRegistered;
    }
    if (isSameOrInside(folder, other)) {
        return kMsgInsideOtherDrive;
    }
    if (isSameOrInside(other, folder)) {
        return kMsgHoldsOtherDrive;
    }
    return 0;
}

bool refuse(Prompter& prompter, int message, const std::string& folder, const std::filesystem::path& other)
{
    writeLog("!CheckOverlap: %s - %s (%d)", folder.c_str(), other.c_str(), message);
    std::vector<std::string> args{folder};
    if (message != kMsgFolderRegistered) {
        args.push_back(other.string());
    }
    prompter.messageBox(message, args, Buttons::OK, Icon::Error);
    return false;
}

} // namespace

bool isSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer)
{
    if (outer.empty()) {
        return false;
    }
    const auto [outerEnd, innerEnd] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    (void)innerEnd;
    return outerEnd == outer.end();
}

std::filesystem::path canonicalFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    if (ec) {
        absolute = folder;
    }
    std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    if (ec) {
        canonical = absolute.lexically_normal();
    }
    while (!canonical.has_filename() && canonical.has_relative_path()) {
        canonical = canonical.parent_path();
    }
    return canonical;
}

bool checkFolderOverlap(const settings::SettingsFile& settings, host::DriveHost& host, Prompter& prompter,
                        const std::string& folder)
{
    if (folder.empty() || isRootFolder(folder)) {
        return true;
    }
    const std::filesystem::path candidate = canonicalFolder(folder);
    const settings::LoadedSettings loaded = settings.load();
    std::vector<std::filesystem::path> driveFolders;
    for (const settings::DriveRecord& record : loaded.document.records()) {
        driveFolders.push_back(record.folder);
    }
    const std::vector<host::MountedDrive> mounts = host.mountedDrives();
    for (const host::MountedDrive& mount : mounts) {
        driveFolders.push_back(mount.backingFolder);
    }
    for (const std::filesystem::path& other : driveFolders) {
        if (other.empty()) {
            continue;
        }
        if (const int message = overlapWithDrive(candidate, canonicalFolder(other)); message != 0) {
            return refuse(prompter, message, folder, other);
        }
    }
    // A drive mounted inside its own backing folder, or a backing folder inside a mounted
    // drive, would encrypt its own plain view or store files twice.
    const std::filesystem::path mountRoot = canonicalFolder(host.mountPointFor("A:").parent_path());
    if (isSameOrInside(candidate, mountRoot) || isSameOrInside(mountRoot, candidate)) {
        return refuse(prompter, kMsgOverlapsMounts, folder, mountRoot);
    }
    for (const host::MountedDrive& mount : mounts) {
        // The mount point itself is not looked at: a stale mount there would not answer.
        const std::filesystem::path point =
            canonicalFolder(mount.mountPoint.parent_path()) / mount.mountPoint.filename();
        if (isSameOrInside(candidate, point) || isSameOrInside(point, candidate)) {
            return refuse(prompter, kMsgOverlapsMounts, folder, mount.mountPoint);
        }
    }
    return true;
}

bool isRootFolder(const std::filesystem::path& folder)
{
    auto normal = folder.lexically_normal();
    if (normal.empty()) {
        return false;
    }
    if (normal == normal.root_path()) {
        return true;
    }
    // A mount point: its parent lies on another device, or is the same directory.
    struct stat self
    {
    };
    struct stat parent
    {
    };
    if (!normal.has_filename()) {
        normal = normal.parent_path();
    }
    if (::stat(normal.c_str(), &self) != 0 || !S_ISDIR(self.st_mode) ||
        ::stat(normal.parent_path().c_str(), &parent) != 0) {
        return false;
    }
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

bool validateDriveLocation(const settings::SettingsFile& settings, Prompter& prompter,
                           const std::string& folder, const std::string& label, const std::string& letter,
                           bool quiet, ValidationMode mode, ValidationState& state)
{
    if (isRootFolder(folder)) {
        if (!quiet) {
            prompter.messageBox(kMsgRootFolder, {}, Buttons::OK, Icon::Error);
        }
        return false;
    }
    // The wizard's letter page checks the letter alone, with an empty folder.
    if (!folder.empty() && !ensureFolder(prompter, folder, quiet)) {
        return false;
    }
    const settings::LoadedSettings loaded = settings.load();
    if (loaded.status != settings::LoadStatus::Loaded && loaded.status != settings::LoadStatus::Missing) {
        writeLog("!ValidateDrive: cannot load %s - %s", settings.path().c_str(), loaded.error.c_str());
        if (!quiet) {
            prompter.messageBox(kMsgSettingsLoadFailed, {settings.path().string()}, Buttons::OK, Icon::Error);
        }
        return false;
    }
    bool duplicateAccepted = false;
    for (const settings::DriveRecord& record : loaded.document.records()) {
        if (settings::equalsIgnoringCase(record.folder, folder)) {
            if (!quiet) {
                prompter.messageBox(kMsgFolderRegistered, {folder}, Buttons::OK, Icon::Error);
            }
            return false;
        }
        const bool sameLabel = compared(label) && record.label == label;
        const bool sameLetter = compared(letter) && sameDriveLetter(record.letter, letter);
        if (mode == ValidationMode::Advanced) {
            if (sameLabel && label != state.acceptedLabel) {
                if (quiet) {
                    return true;
                }
                if (prompter.messageBox(kMsgSameLabel, {label}, Buttons::YesNo, Icon::Error) != Button::Yes) {
                    return false;
                }
                state.acceptedLabel = label;
                return true;
            }
            if (sameLetter) {
                if (quiet) {
                    return true;
                }
                return prompter.messageBox(kMsgSameLetter, {letter}, Buttons::YesNo, Icon::Error) ==
                       Button::Yes;
            }
            continue;
        }
        if (sameLabel && !duplicateAccepted) {
            if (prompter.messageBox(kMsgSameLabel, {label}, Buttons::YesNo, Icon::Error) != Button::Yes) {
                return false;
            }
            duplicateAccepted = true;
        }
        if (sameLetter && !duplicateAccepted) {
            if (prompter.messageBox(kMsgSameLetter, {letter}, Buttons::YesNo, Icon::Error) != Button::Yes) {
                return false;
            }
            duplicateAccepted = true;
        }
    }
    return true;
}

} // namespace kestrava::drives
