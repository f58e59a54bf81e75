// A DriveHost for tests: mounts nothing, remembers what it was asked, and keeps the key each
// drive was mounted with so a test can tell a right key from a wrong one.
#pragma once

#include "core/drives/FreeLetters.h"
#include "core/host/DriveHost.h"
#include "core/token/DriveContext.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kestrava::test {

class FakeDriveHost : public host::DriveHost
{
public:
    struct Mount
    {
        host::MountedDrive drive;
        crypto::SecureBytes masterKey;
        token::TokenOptions tokenOptions;
        host::MountOptions options;
    };

    explicit FakeDriveHost(std::filesystem::path mountRoot) : m_mountRoot(std::move(mountRoot)) {}

    bool driverInstalled = true;
    std::set<std::string> busyLetters;   // used by another volume
    std::set<std::string> refuseUnmount; // busy: unmounting fails
    std::optional<host::MountResult> failNextMount;
    std::map<std::string, Mount> mounts; // by letter
    std::vector<std::string> calls;      // "install K:", "unmount K:", in order

    bool IsDriverInstalled() override { return driverInstalled; }

    std::filesystem::path mountPointFor(std::string_view letter) const override
    {
        return m_mountRoot / std::string(letter.substr(0, 1));
    }

    bool isLetterInUse(std::string_view letter) override
    {
        const std::string key = drives::normalizeDriveLetter(letter).value_or(std::string(letter));
        if (mounts.count(key) != 0 || busyLetters.count(key) != 0) {
            return true;
        }
        std::error_code ec;
        const auto point = mountPointFor(key);
        return std::filesystem::is_directory(point, ec) && !std::filesystem::is_empty(point, ec);
    }

    host::MountResult InstallFileSystem(const token::DriveContext& context,
                                        const host::MountOptions& options) override
    {
        calls.push_back("install " + context.driveLetter());
        if (!driverInstalled) {
            return {host::MountOutcome::DriverMissing, "no /dev/fuse"};
        }
        if (failNextMount) {
            const auto result = *failNextMount;
            failNextMount.reset();
            return result;
        }
        if (isLetterInUse(context.driveLetter())) {
            return {host::MountOutcome::LetterInUse, "in use"};
        }
        Mount mount;
        mount.drive.letter = context.driveLetter();
        mount.drive.mountPoint = mountPointFor(context.driveLetter());
        mount.drive.backingFolder = context.backingFolder();
        mount.drive.label = context.label();
        mount.masterKey = context.masterKey();
        mount.tokenOptions = context.options();
        mount.options = options;
        mounts[context.driveLetter()] = mount;
        return {host::MountOutcome::Mounted, {}};
    }

    bool UnmountFileSystem(std::string_view letter) override
    {
        const std::string key(letter);
        calls.push_back("unmount " + key);
        if (refuseUnmount.count(key) != 0) {
            return false;
        }
        return mounts.erase(key) != 0;
    }

    // A lazy detach lets go of a busy drive too.
    bool detachFileSystem(std::string_view letter) override
    {
        const std::string key(letter);
        calls.push_back("detach " + key);
        return mounts.erase(key) != 0;
    }

    std::vector<host::MountedDrive> mountedDrives() override
    {
        std::vector<host::MountedDrive> drives;
        for (const auto& [letter, mount] : mounts) {
            drives.push_back(mount.drive);
        }
        return drives;
    }

    void waitUntilUnmounted(std::string_view letter) override
    {
        calls.push_back("wait " + std::string(letter));
    }

    // As if another process had mounted the drive.
    void mountedElsewhere(const std::string& letter, const std::filesystem::path& folder)
    {
        Mount mount;
        mount.drive.letter = letter;
        mount.drive.mountPoint = mountPointFor(letter);
        mount.drive.backingFolder = folder;
        mounts[letter] = mount;
    }

private:
    std::filesystem::path m_mountRoot;
};

} // namespace kestrava::test
