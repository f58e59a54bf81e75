#include "core/host/SystemHost.h"

#include "core/app/ActivityLog.h"
#include "core/host/FuseAvailability.h"
#include "core/host/MountTable.h"
#include "core/host/Process.h"
#include "core/host/RuntimeState.h"
#include "core/host/ServeProtocol.h"
#include "core/settings/Paths.h"
#include "core/token/DriveContext.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace kestrava::host {
namespace {

using Clock = std::chrono::steady_clock;

// The path the mount table shows for a mount point: the root resolved, the leaf as it is
// (resolving the leaf would ask the file system mounted there, which may hang or be gone).
std::filesystem::path tablePath(const std::filesystem::path& mountPoint)
{
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::weakly_canonical(mountPoint.parent_path(), ec);
    return (ec ? mountPoint.parent_path() : parent) / mountPoint.filename();
}

// A mount whose serving process died: the kernel answers "Transport endpoint is not connected".
bool isStaleMount(const std::filesystem::path& mountPoint)
{
    struct stat st
    {
    };
    return ::stat(mountPoint.c_str(), &st) != 0 && (errno == ENOTCONN || errno == ECONNABORTED);
}

std::optional<std::filesystem::path> lockFileOf(const std::filesystem::path& mountPoint)
{
    const auto folder = runtimeFolder();
    return folder ? std::optional(lockFileFor(*folder, mountPoint)) : std::nullopt;
}

bool serverAlive(const std::filesystem::path& mountPoint)
{
    const auto lock = lockFileOf(mountPoint);
    return lock && isLockHeld(*lock);
}

bool isMountedHere(const std::filesystem::path& mountPoint)
{
    return findMount(readMountTable(), mountPoint).has_value();
}

bool lazyUnmount(const std::filesystem::path& mountPoint)
{
    const RunResult run = runProgram({"fusermount3", "-u", "-z", mountPoint.string()});
    writeLog("UnmountFileSystem: stale mount at %s removed (%s)", mountPoint.c_str(),
             run.exitCode == 0 ? "ok" : run.output.c_str());
    if (const auto folder = runtimeFolder()) {
        std::error_code ec;
        std::filesystem::remove(stateFileFor(*folder, mountPoint), ec);
    }
    return !isMountedHere(mountPoint);
}

template <class Predicate> bool waitUntil(Predicate done, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    auto pause = std::chrono::milliseconds(2);
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return true;
}

// Writes the password without letting a server that died early kill us with SIGPIPE.
bool writeSecret(int fd, std::string_view secret)
{
    sigset_t pipeOnly;
    sigset_t previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    std::size_t done = 0;
    bool ok = true;
    while (done < secret.size()) {
        const ssize_t n = ::write(fd, secret.data() + done, secret.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (!ok) {
        const timespec zero{0, 0};
        ::sigtimedwait(&pipeOnly, nullptr, &zero); // drop the SIGPIPE this raised
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

// Reads one line, until newline, end of file or the deadline. nullopt on timeout.
std::optional<std::string> readStatusLine(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string line;
    while (line.find('\n') == std::string::npos && line.size() < 4096) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return std::nullopt;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line;
}

struct Pipe
{
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool ok() const { return read >= 0; }
    void closeRead()
    {
        if (read >= 0) {
            ::close(read);
        }
        read = -1;
    }
    void closeWrite()
    {
        if (write >= 0) {
            ::close(write);
        }
        write = -1;
    }
};

std::atomic<int> g_interrupt{0};

extern "C" void noteInterrupt(int signal)
{
    g_interrupt = signal;
}

} // namespace

std::filesystem::path defaultServerExecutable()
{
    const std::filesystem::path self = paths::executablePath();
    if (self.filename() == "kestrava-cli") {
        return self;
    }
    std::error_code ec;
    const std::filesystem::path sibling = self.parent_path() / "kestrava-cli";
    if (!self.empty() && std::filesystem::is_regular_file(sibling, ec)) {
        return sibling;
    }
    return findOnPath("kestrava-cli").value_or(std::filesystem::path());
}

std::unique_ptr<DriveHost> makeSystemHost(const SystemHostConfig& config)
{
    return std::make_unique<SystemHost>(config);
}

std::unique_ptr<DriveHost> makeSystemHost(const std::filesystem::path& mountRoot,
                                          const std::filesystem::path& serverExecutable)
{
    SystemHostConfig config;
    config.mountRoot = mountRoot;
    config.serverExecutable = serverExecutable;
    return makeSystemHost(config);
}

SystemHost::SystemHost(SystemHostConfig config) : m_config(std::move(config))
{
    if (m_config.serverExecutable.empty()) {
        m_config.serverExecutable = defaultServerExecutable();
    }
}

SystemHost::~SystemHost() = default;

bool SystemHost::IsDriverInstalled()
{
    return isFuseUsable();
}

std::filesystem::path SystemHost::mountPointFor(std::string_view letter) const
{
    const char first =
        letter.empty() ? '?' : static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
    return m_config.mountRoot / std::string(1, first);
}

bool SystemHost::isLetterInUse(std::string_view letter)
{
    const std::filesystem::path mountPoint = tablePath(mountPointFor(letter));
    if (const auto entry = findMount(readMountTable(), mountPoint)) {
        // A drive whose server died is reusable: the next mount clears it away.
        return !(entry->fsType == kDriveFsType && !serverAlive(mountPoint) && isStaleMount(mountPoint));
    }
    if (serverAlive(mountPoint)) {
        return true; // a server is starting there right now
    }
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(mountPoint, ec);
    if (!std::filesystem::exists(status)) {
        return false;
    }
    return !std::filesystem::is_directory(status) || !std::filesystem::is_empty(mountPoint, ec) || ec;
}

MountResult SystemHost::prepareMountPoint(const std::filesystem::path& mountPoint)
{
    if (const auto entry = findMount(readMountTable(), mountPoint)) {
        const bool stale =
            entry->fsType == kDriveFsType && !serverAlive(mountPoint) && isStaleMount(mountPoint);
        if (!stale) {
            return {MountOutcome::LetterInUse, mountPoint.string() + " is already a mount point"};
        }
        if (!lazyUnmount(mountPoint)) {
            return {MountOutcome::Failed, "cannot remove the stale mount at " + mountPoint.string()};
        }
    }
    if (serverAlive(mountPoint)) {
        return {MountOutcome::LetterInUse,
                "another Kestrava process is mounting a drive at " + mountPoint.string()};
    }
    // The serving process makes a missing mount point itself, under its lock, and removes it
    // again when done: two mounts racing for one letter cannot trip over each other's folder.
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(mountPoint, ec);
    if (std::filesystem::exists(status) &&
        (!std::filesystem::is_directory(status) || !std::filesystem::is_empty(mountPoint, ec) || ec)) {
        return {MountOutcome::LetterInUse, mountPoint.string() + " is not an empty folder"};
    }
    return {MountOutcome::Mounted, {}};
}

MountResult SystemHost::InstallFileSystem(const token::DriveContext& context, const MountOptions& options)
{
    const std::string& letter = context.driveLetter();
    const std::filesystem::path mountPoint = tablePath(mountPointFor(letter));
    writeLog("InstallFileSystem: %s (%s) at %s", context.backingFolder().c_str(), letter.c_str(),
             mountPoint.c_str());
    if (!IsDriverInstalled()) {
        return {MountOutcome::DriverMissing,
                "FUSE is not usable here (/dev/fuse cannot be opened or fusermount3 "
                "is not on the PATH)"};
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(context.backingFolder(), ec)) {
        std::filesystem::create_directories(context.backingFolder(), ec);
        if (ec || !std::filesystem::is_directory(context.backingFolder())) {
            return {MountOutcome::InvalidPath, "cannot use the folder " + context.backingFolder().string()};
        }
    }
    if (m_config.serverExecutable.empty()) {
        return {MountOutcome::Failed, "no kestrava-cli to serve the drive was found"};
    }
    MountResult result = prepareMountPoint(mountPoint);
    if (result.outcome == MountOutcome::Mounted) {
        result = startServer(context, options, mountPoint);
    }
    if (result.outcome != MountOutcome::Mounted) {
        writeLog("!InstallFileSystem Error: %s: %s", std::string(outcomeName(result.outcome)).c_str(),
                 result.detail.c_str());
    }
    return result;
}

MountResult SystemHost::startServer(const token::DriveContext& context, const MountOptions& options,
                                    const std::filesystem::path& mountPoint)
{
    Pipe password;
    Pipe status;
    if (!password.ok() || !status.ok()) {
        return {MountOutcome::Failed, std::string("cannot make a pipe: ") + std::strerror(errno)};
    }
    constexpr int kPasswordFd = 3;
    constexpr int kStatusFd = 4;
    std::vector<std::string> argv{m_config.serverExecutable.string(),
                                  "serve",
                                  "--folder=" + context.backingFolder().string(),
                                  "--letter=" + context.driveLetter(),
                                  "--mount-point=" + mountPoint.string(),
                                  "--label=" + context.label(),
                                  "--password-fd=" + std::to_string(kPasswordFd),
                                  "--ready-fd=" + std::to_string(kStatusFd)};
    if (options.allowOther) {
        argv.push_back("--allow-other");
    }
    if (options.foreground) {
        argv.push_back("--foreground");
    }
    if (m_config.singleThread) {
        argv.push_back("--single-thread");
    }
    unsigned idleMinutes = options.idleMinutes;
    bool detachBusy = options.detachBusy;
    if (idleMinutes == 0 && m_config.idleDefault) {
        std::tie(idleMinutes, detachBusy) = m_config.idleDefault();
    }
    if (idleMinutes > 0) {
        argv.push_back("--idle-timeout=" + std::to_string(idleMinutes));
        if (detachBusy) {
            argv.push_back("--idle-detach");
        }
    }
    SpawnOptions spawn;
    spawn.passFds = {{password.read, kPasswordFd}, {status.write, kStatusFd}};
    spawn.stdinFromNull = !options.foreground;
    spawn.newSession = !options.foreground;
    const pid_t pid = spawnProcess(argv, spawn);
    if (pid < 0) {
        return {MountOutcome::Failed,
                "cannot start " + m_config.serverExecutable.string() + ": " + std::strerror(errno)};
    }
    password.closeRead();
    status.closeWrite();
    writeSecret(password.write, context.password());
    password.closeWrite();

    const auto line = readStatusLine(status.read, m_config.readyTimeout);
    if (!line) {
        stopChild(pid);
        return {MountOutcome::Failed, "the serving process did not report within the time allowed"};
    }
    if (line->empty()) {
        const auto exit = waitForChild(pid, std::chrono::seconds(10));
        return {MountOutcome::Failed, "the serving process " + (exit ? describeExitStatus(*exit)
                                                                     : std::string("stopped answering"))};
    }
    const MountResult result = parseStatusLine(*line);
    if (result.outcome == MountOutcome::Mounted && options.foreground) {
        std::lock_guard lock(m_mutex);
        m_foreground[mountPoint] = pid;
    } else if (!waitForChild(pid, std::chrono::seconds(10))) {
        // In the background the started process exits as soon as its detached copy serves.
        if (result.outcome != MountOutcome::Mounted) {
            stopChild(pid);
        }
    }
    if (result.outcome == MountOutcome::Mounted) {
        writeLog("InstallFileSystem: %s mounted at %s", context.driveLetter().c_str(), mountPoint.c_str());
    }
    return result;
}

pid_t SystemHost::takeForegroundChild(const std::filesystem::path& mountPoint)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_foreground.find(mountPoint);
    if (it == m_foreground.end()) {
        return -1;
    }
    const pid_t pid = it->second;
    m_foreground.erase(it);
    return pid;
}

bool SystemHost::waitForServerGone(const std::filesystem::path& mountPoint)
{
    const pid_t child = takeForegroundChild(mountPoint);
    if (child > 0) {
        return waitForChild(child, m_config.unmountTimeout).has_value();
    }
    return waitUntil([&] { return !serverAlive(mountPoint); }, m_config.unmountTimeout);
}

bool SystemHost::detachFileSystem(std::string_view letter)
{
    const std::filesystem::path mountPoint = tablePath(mountPointFor(letter));
    const auto entry = findMount(readMountTable(), mountPoint);
    if (!entry || entry->fsType != kDriveFsType) {
        return false;
    }
    writeLog("UnmountFileSystem: detaching %s while it is in use", mountPoint.c_str());
    return lazyUnmount(mountPoint);
}

bool SystemHost::UnmountFileSystem(std::string_view letter)
{
    const std::filesystem::path mountPoint = tablePath(mountPointFor(letter));
    const auto entry = findMount(readMountTable(), mountPoint);
    if (!entry || entry->fsType != kDriveFsType) {
        writeLog("UnmountFileSystem: nothing of ours is mounted at %s", mountPoint.c_str());
        return false;
    }
    if (!serverAlive(mountPoint) && isStaleMount(mountPoint)) {
        return lazyUnmount(mountPoint);
    }
    const RunResult run = runProgram({"fusermount3", "-u", mountPoint.string()});
    if (run.exitCode != 0) {
        writeLog("!UnmountFileSystem Error: %s: %s", mountPoint.c_str(), run.output.c_str());
        return false;
    }
    const bool released = waitUntil([&] { return !isMountedHere(mountPoint); }, m_config.unmountTimeout);
    const bool ended = waitForServerGone(mountPoint);
    writeLog("UnmountFileSystem: %s unmounted from %s%s", std::string(letter).c_str(), mountPoint.c_str(),
             released && ended ? "" : " (the serving process is slow to end)");
    return released;
}

std::vector<MountedDrive> SystemHost::mountedDrives()
{
    std::vector<MountedDrive> drives;
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::weakly_canonical(m_config.mountRoot, ec);
    const auto folder = runtimeFolder();
    for (const MountEntry& entry : readMountTable()) {
        if (entry.fsType != kDriveFsType || entry.mountPoint.parent_path() != root) {
            continue;
        }
        MountedDrive drive;
        drive.mountPoint = entry.mountPoint;
        drive.letter = entry.mountPoint.filename().string() + ":";
        drive.label = labelFromFsName(entry.source).value_or(std::string());
        if (folder) {
            const auto state = readServeState(stateFileFor(*folder, entry.mountPoint));
            if (state && state->mountPoint == entry.mountPoint) {
                drive.backingFolder = state->backingFolder;
                drive.label = state->label;
                if (!state->letter.empty()) {
                    drive.letter = state->letter;
                }
            }
        }
        drive.stale = !serverAlive(entry.mountPoint) && isStaleMount(entry.mountPoint);
        drives.push_back(std::move(drive));
    }
    return drives;
}

void SystemHost::waitUntilUnmounted(std::string_view letter)
{
    const std::filesystem::path mountPoint = tablePath(mountPointFor(letter));
    const pid_t child = takeForegroundChild(mountPoint);
    if (child <= 0) {
        waitUntil([&] { return !isMountedHere(mountPoint); }, std::chrono::hours(24 * 365));
        return;
    }
    // An interrupt here is meant for the drive: pass it on and keep waiting until the serving
    // process has unmounted and ended, so the terminal gets back a clean mount point.
    struct sigaction handler
    {
    };
    handler.sa_handler = noteInterrupt;
    sigemptyset(&handler.sa_mask);
    struct sigaction previous[3];
    const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    g_interrupt = 0;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(signals[i], &handler, &previous[i]);
    }
    bool forwarded = false;
    while (!waitForChild(child, std::chrono::milliseconds(100))) {
        if (g_interrupt != 0 && !forwarded) {
            ::kill(child, SIGTERM);
            forwarded = true;
        }
    }
    for (int i = 0; i < 3; ++i) {
        ::sigaction(signals[i], &previous[i], nullptr);
    }
}

} // namespace kestrava::host
