#include "fuse/MountSession.h"

#include "core/app/ActivityLog.h"
#include "core/host/MountTable.h"
#include "fuse/FuseOps.h"
#include "fuse/FuseVersion.h"

#include <fuse_lowlevel.h>
#include <vector>

namespace kestrava::fuse {

std::string escapeOptionValue(const std::string& value)
{
    std::string out;
    for (const char c : value) {
        if (c == ',' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

MountSession::MountSession(fs::DriveFs& drive, SessionOptions options, std::function<void()> onReady)
    : m_options(std::move(options))
{
    m_data.drive = &drive;
    m_data.onReady = std::move(onReady);
    m_data.kernelChecksPermissions = m_options.allowOther;
}

MountSession::~MountSession()
{
    unmount();
}

bool MountSession::mount(std::string& error)
{
    std::vector<std::string> words{"kestrava",
                                   "-o",
                                   "fsname=" + escapeOptionValue(host::driveFsName(m_options.label)),
                                   "-o",
                                   "subtype=" + std::string(host::kDriveSubtype),
                                   "-o",
                                   "max_read=" + std::to_string(kMaxRequestBytes)};
    if (m_options.allowOther) {
        // Several users: the kernel checks each one's access from the mode bits. A private
        // drive leaves that to the backing folder, which saves the kernel's attribute fetches.
        words.insert(words.end(), {"-o", "allow_other", "-o", "default_permissions"});
    }
    if (m_options.debug) {
        words.push_back("-d");
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    m_session = fuse_session_new(&args, &driveOperations(), sizeof(fuse_lowlevel_ops), &m_data);
    fuse_opt_free_args(&args);
    if (m_session == nullptr) {
        error = "cannot create the FUSE session (see the messages above)";
        return false;
    }
    if (fuse_session_mount(m_session, m_options.mountPoint.c_str()) != 0) {
        error = "cannot mount at " + m_options.mountPoint.string();
        fuse_session_destroy(m_session);
        m_session = nullptr;
        return false;
    }
    m_mounted = true;
    if (m_options.handleSignals && fuse_set_signal_handlers(m_session) == 0) {
        m_signals = true;
    }
    return true;
}

void MountSession::detach()
{
    fuse_daemonize(0);
}

int MountSession::serve()
{
    if (m_session == nullptr) {
        return -1;
    }
    if (m_options.singleThread) {
        return fuse_session_loop(m_session);
    }
    // Every idle thread waits on its own copy of the device, and idle threads are kept: under
    // parallel load a thread that has replied takes the next request without waking anyone,
    // and no thread is started or ended per request.
    fuse_loop_config* config = fuse_loop_cfg_create();
    if (config == nullptr) {
        return -1;
    }
    fuse_loop_cfg_set_clone_fd(config, 1);
    fuse_loop_cfg_set_max_threads(config, m_options.maxThreads);
    fuse_loop_cfg_set_idle_threads(config, m_options.maxThreads);
    const int rc = fuse_session_loop_mt(m_session, config);
    fuse_loop_cfg_destroy(config);
    return rc;
}

void MountSession::unmount()
{
    if (m_session == nullptr) {
        return;
    }
    if (m_signals) {
        fuse_remove_signal_handlers(m_session);
        m_signals = false;
    }
    if (m_mounted) {
        fuse_session_unmount(m_session);
        m_mounted = false;
    }
    fuse_session_destroy(m_session);
    m_session = nullptr;
}

} // namespace kestrava::fuse
