#include "fuse/DriveServer.h"

#include "core/app/ActivityLog.h"
#include "core/crypto/SecureBytes.h"
#include "core/fs/DriveFs.h"
#include "core/fs/FsError.h"
#include "core/host/MountTable.h"
#include "core/host/Process.h"
#include "core/host/RuntimeState.h"
#include "core/host/ServeProtocol.h"
#include "core/prefs/AutoLock.h"
#include "core/token/DriveContext.h"
#include "fuse/Guarded.h"
#include "fuse/MountSession.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <malloc.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::fuse {
namespace {

using host::MountOutcome;

class StatusReporter
{
public:
    explicit StatusReporter(int fd) : m_fd(fd) {}
    ~StatusReporter() { close(); }
    StatusReporter(const StatusReporter&) = delete;
    StatusReporter& operator=(const StatusReporter&) = delete;

    void ready() { send(host::formatReadyLine()); }
    bool reported() const { return m_closed; }
    int failed(MountOutcome outcome, const std::string& detail)
    {
        writeLog("!serve: %s", detail.c_str());
        send(host::formatErrorLine(outcome, detail));
        return 1;
    }

private:
    void send(const std::string& line)
    {
        if (m_fd < 0) {
            if (!m_closed) {
                std::cerr << "kestrava-cli: " << line;
            }
            m_closed = true;
            return;
        }
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(m_fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        close();
    }
    void close()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = -1;
        m_closed = true;
    }

    int m_fd;
    bool m_closed = false;
};

std::optional<crypto::SecureString> readPassword(int fd)
{
    if (fd < 0) {
        return std::nullopt;
    }
    crypto::SecureString password;
    password.reserve(token::DriveContext::kMaxPasswordBytes + 1);
    char buffer[64];
    while (password.size() <= token::DriveContext::kMaxPasswordBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        password.append(buffer, static_cast<std::size_t>(n));
    }
    std::memset(buffer, 0, sizeof buffer);
    ::close(fd);
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) {
        password.pop_back();
    }
    if (password.empty() || password.size() > token::DriveContext::kMaxPasswordBytes) {
        return std::nullopt;
    }
    return password;
}

bool isEmptyFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::symlink_status(folder, ec)) &&
           std::filesystem::is_empty(folder, ec) && !ec;
}

// The mount point: made when missing, and then removed again when this process is done
// with it (after unmounting, or when the mount failed).
class MountPointFolder
{
public:
    explicit MountPointFolder(const std::filesystem::path& folder) : m_folder(folder)
    {
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(folder, ec))) {
            return;
        }
        std::filesystem::create_directories(folder.parent_path(), ec);
        if (::mkdir(folder.c_str(), 0700) == 0) {
            m_created = true;
        } else {
            m_error = errno;
        }
    }
    ~MountPointFolder()
    {
        if (m_created) {
            ::rmdir(m_folder.c_str());
        }
    }
    MountPointFolder(const MountPointFolder&) = delete;
    MountPointFolder& operator=(const MountPointFolder&) = delete;
    int error() const { return m_error; }

private:
    std::filesystem::path m_folder;
    bool m_created = false;
    int m_error = 0;
};

std::chrono::milliseconds idleCheckInterval(std::chrono::seconds timeout)
{
    return std::min<std::chrono::milliseconds>(std::chrono::seconds(30), timeout / 4);
}

// The drive was not used for the whole timeout: let it go, as the user would with "unmount".
// A drive that programs still hold stays (the programs are named in the log) unless detaching
// was chosen; the count then starts again.
bool unmountWhenIdle(const ServeRequest& request, const std::filesystem::path& mountPoint)
{
    std::vector<std::string> argv{"fusermount3", "-u"};
    if (request.idleDetach) {
        argv.push_back("-z");
    }
    argv.push_back(mountPoint.string());
    const host::RunResult run = host::runProgram(argv, std::chrono::seconds(30));
    if (run.exitCode == 0) {
        writeLog("serve: %s unused for %lld s; unmounting", request.letter.c_str(),
                 static_cast<long long>(request.idleTimeout.count()));
        return true;
    }
    std::string holders;
    for (const auto& program : prefs::programsUsing(mountPoint)) {
        holders += (holders.empty() ? "" : ", ") + program;
    }
    writeLog("!serve: %s unused for %lld s but in use by %s; it stays mounted", request.letter.c_str(),
             static_cast<long long>(request.idleTimeout.count()), holders.empty() ? "?" : holders.c_str());
    return false;
}

} // namespace

int serveDrive(const ServeRequest& request)
{
    // Two heap arenas: with one per serving thread, freed memory scattered over them kept
    // the process growing over long runs of creating and deleting files.
    ::mallopt(M_ARENA_MAX, 2);
    StatusReporter status(request.statusFd);
    const auto password = readPassword(request.passwordFd);
    if (!password) {
        return status.failed(MountOutcome::Failed, "no drive password arrived on the password pipe");
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(request.backingFolder, ec);
    const std::filesystem::path mountPoint = std::filesystem::absolute(request.mountPoint, ec);

    // Held for the whole life of this process: a second server for the same mount point backs off.
    const auto runtime = host::runtimeFolder();
    if (!runtime) {
        return status.failed(MountOutcome::Failed, "no private runtime folder for the drive's state");
    }
    host::ServeLock lock(host::lockFileFor(*runtime, mountPoint));
    if (!lock.isHeld()) {
        return status.failed(MountOutcome::LetterInUse,
                             "another Kestrava process is serving or mounting a drive at " +
                                 mountPoint.string());
    }
    if (host::findMount(host::readMountTable(), mountPoint)) {
        return status.failed(MountOutcome::LetterInUse, mountPoint.string() + " is already a mount point");
    }
    MountPointFolder mountFolder(mountPoint);
    if (mountFolder.error() != 0) {
        return status.failed(MountOutcome::Failed, "cannot create the mount point " + mountPoint.string() +
                                                       ": " + std::strerror(mountFolder.error()));
    }
    if (!isEmptyFolder(mountPoint)) {
        return status.failed(MountOutcome::LetterInUse,
                             mountPoint.string() + " is a mount point or not an empty folder");
    }

    token::DriveContext context(*password);
    std::string error;
    switch (context.unlock(token::tokenPathFor(folder), &error)) {
    case token::TokenLoadStatus::Loaded:
        break;
    case token::TokenLoadStatus::WrongPassword:
        return status.failed(MountOutcome::Failed,
                             "the password does not unlock the drive in " + folder.string());
    case token::TokenLoadStatus::Unreadable:
        return status.failed(MountOutcome::InvalidPath, "cannot read the security token in " +
                                                            folder.string() +
                                                            (error.empty() ? "" : ": " + error));
    case token::TokenLoadStatus::Malformed:
        return status.failed(MountOutcome::Failed, "the security token in " + folder.string() +
                                                       " is damaged" + (error.empty() ? "" : ": " + error));
    }
    context.setBackingFolder(folder);
    context.setLabel(request.label);
    context.setDriveLetter(request.letter);

    std::unique_ptr<fs::DriveFs> drive;
    try {
        drive = fs::DriveFs::forDrive(context);
    } catch (const fs::FsError& e) {
        return status.failed(MountOutcome::InvalidPath,
                             "cannot open " + folder.string() + ": " + std::strerror(e.error()));
    } catch (const std::exception& e) {
        return status.failed(MountOutcome::Failed, std::string("cannot open the drive: ") + e.what());
    }

    // Modes given to create and mkdir reach the backing entries as the caller asked.
    ::umask(0);
    SessionOptions options;
    options.mountPoint = mountPoint;
    options.label = request.label;
    options.allowOther = request.allowOther;
    options.singleThread = request.singleThread;
    options.maxThreads = request.maxThreads;
    options.debug = request.debug;
    const std::filesystem::path stateFile = host::stateFileFor(*runtime, mountPoint);
    // Ready once the kernel has accepted the session: only then is the drive usable.
    MountSession session(*drive, options, [&] {
        host::writeServeState(stateFile, {::getpid(), request.letter, mountPoint, folder, request.label});
        writeLog("serve: %s (%s) mounted at %s, process %d", folder.c_str(), request.letter.c_str(),
                 mountPoint.c_str(), static_cast<int>(::getpid()));
        status.ready();
    });
    if (!session.mount(error)) {
        return status.failed(MountOutcome::Failed, error);
    }
    if (!request.foreground) {
        session.detach();
    }
    std::optional<prefs::IdleTimer> idleTimer;
    std::optional<prefs::IdleWatch> idleWatch;
    if (request.idleTimeout.count() > 0) {
        idleTimer.emplace(request.idleTimeout);
        g_requestTimer.store(&*idleTimer);
        idleWatch.emplace(*idleTimer, idleCheckInterval(request.idleTimeout),
                          [&] { return unmountWhenIdle(request, mountPoint); });
    }
    const int rc = session.serve();
    idleWatch.reset();
    g_requestTimer.store(nullptr);
    if (!status.reported()) {
        status.failed(MountOutcome::Failed,
                      "the kernel did not accept the FUSE session at " + mountPoint.string());
    }
    session.unmount();
    std::filesystem::remove(stateFile, ec);
    writeLog("serve: %s unmounted from %s%s", request.letter.c_str(), mountPoint.c_str(),
             rc < 0 ? " after an error" : "");
    return rc < 0 ? 1 : 0;
}

} // namespace kestrava::fuse
