// The real drive host: each drive is mounted by its own serving process ("kestrava-cli serve")
// over FUSE, and what is mounted is read from the system's mount table, so every Kestrava
// process (the desktop app, any kestrava-cli) sees the same drives.
//
// Thread-safe: the desktop app's workers may mount, unmount and list at the same time. Two
// mounts of one letter at once are settled by the serving processes' lock: one mounts, the
// other reports LetterInUse.
#pragma once

#include "core/host/DriveHost.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sys/types.h>

namespace kestrava::host {

struct SystemHostConfig
{
    std::filesystem::path mountRoot;
    // The program that serves a drive (kestrava-cli). Empty: this process's own executable
    // when it is kestrava-cli, else a kestrava-cli beside it.
    std::filesystem::path serverExecutable;
    // A mount may first derive the key from the password, which takes a while by design.
    std::chrono::milliseconds readyTimeout = std::chrono::minutes(2);
    std::chrono::milliseconds unmountTimeout = std::chrono::seconds(20);
    bool singleThread = false; // serve with one thread (debugging)
    // The idle timeout for mounts that do not set one (the desktop app's setting); unset: none.
    std::function<std::pair<unsigned, bool>()> idleDefault; // minutes, detach when busy
};

std::unique_ptr<DriveHost> makeSystemHost(const SystemHostConfig& config);
std::unique_ptr<DriveHost> makeSystemHost(const std::filesystem::path& mountRoot,
                                          const std::filesystem::path& serverExecutable = {});

// The serving program makeSystemHost uses when none is named; empty when there is none.
std::filesystem::path defaultServerExecutable();

class SystemHost final : public DriveHost
{
public:
    explicit SystemHost(SystemHostConfig config);
    ~SystemHost() override;

    bool IsDriverInstalled() override;
    std::filesystem::path mountPointFor(std::string_view letter) const override;
    bool isLetterInUse(std::string_view letter) override;
    MountResult InstallFileSystem(const token::DriveContext& context, const MountOptions& options) override;
    bool UnmountFileSystem(std::string_view letter) override;
    bool detachFileSystem(std::string_view letter) override;
    std::vector<MountedDrive> mountedDrives() override;
    void waitUntilUnmounted(std::string_view letter) override;

private:
    struct Prepared;
    MountResult prepareMountPoint(const std::filesystem::path& mountPoint);
    MountResult startServer(const token::DriveContext& context, const MountOptions& options,
                            const std::filesystem::path& mountPoint);
    bool waitForServerGone(const std::filesystem::path& mountPoint);
    pid_t takeForegroundChild(const std::filesystem::path& mountPoint);

    SystemHostConfig m_config;
    std::mutex m_mutex;
    std::map<std::filesystem::path, pid_t> m_foreground; // serving processes that are our children
};

} // namespace kestrava::host
