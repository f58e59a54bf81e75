#include "fuse/ServeLoop.h"

#include "fuse/FuseVersion.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fuse_lowlevel.h>
#include <linux/fuse.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace kestrava::fuse {
namespace {

// Reads and writes from this size on are worth serving beside the next request.
constexpr std::uint32_t kLongTransferBytes = 64 * 1024;
// How often the supervisor looks for requests queued behind one served in place: often while
// requests flow, seldom when the drive is idle.
constexpr auto kBusyTick = std::chrono::milliseconds(20);
constexpr auto kIdleTick = std::chrono::milliseconds(250);

bool mayTakeLong(const fuse_buf& buffer)
{
    if ((buffer.flags & FUSE_BUF_IS_FD) != 0 || buffer.size < sizeof(fuse_in_header)) {
        return true;
    }
    const auto* header = static_cast<const fuse_in_header*>(buffer.mem);
    switch (header->opcode) {
    case FUSE_READ:
    case FUSE_WRITE: {
        // Both start with the handle, the offset and the size.
        if (buffer.size < sizeof(fuse_in_header) + sizeof(fuse_read_in)) {
            return true;
        }
        const auto* transfer = reinterpret_cast<const fuse_read_in*>(header + 1);
        return transfer->size >= kLongTransferBytes;
    }
    case FUSE_FSYNC:
    case FUSE_FSYNCDIR:
    case FUSE_SETATTR: // a size change writes or drops whole blocks
    case FUSE_FALLOCATE:
    case FUSE_COPY_FILE_RANGE:
        return true;
    default:
        return false;
    }
}

} // namespace

ServeLoop::ServeLoop(struct ::fuse_session* session, unsigned int maxThreads)
    : m_session(session), m_maxThreads(maxThreads < 1 ? 1 : maxThreads)
{
}

ServeLoop::~ServeLoop()
{
    {
        std::lock_guard lock(m_mutex);
        stopLocked();
    }
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

int ServeLoop::run()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        return -errno;
    }
    std::unique_lock lock(m_mutex);
    startThreadLocked();
    if (m_threads.empty()) {
        return -EAGAIN;
    }
    std::uint64_t seen = m_served.load(std::memory_order_relaxed);
    while (!m_stopping) {
        const std::uint64_t served = m_served.load(std::memory_order_relaxed);
        m_tick.wait_for(lock, served != seen ? kBusyTick : kIdleTick);
        seen = served;
        if (fuse_session_exited(m_session) != 0) {
            stopLocked();
        } else if (!m_waiting && requestsQueued()) {
            handOverLocked();
        }
    }
    lock.unlock();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
    return m_error;
}

void ServeLoop::work()
{
    fuse_buf buffer{};
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            ++m_idle;
            m_turn.wait(lock, [&] { return m_stopping || !m_waiting; });
            --m_idle;
            if (m_stopping) {
                break;
            }
            m_waiting = true;
        }
        const int received = receive(buffer);
        {
            std::lock_guard lock(m_mutex);
            m_waiting = false;
            if (received == -EINTR || received == -EAGAIN) {
                continue;
            }
            if (received <= 0 || m_stopping || fuse_session_exited(m_session) != 0) {
                if (received < 0 && received != -ECANCELED) {
                    m_error = received;
                }
                stopLocked();
                break;
            }
            if (mayTakeLong(buffer) || requestsQueued()) {
                handOverLocked();
            }
        }
        m_served.fetch_add(1, std::memory_order_relaxed);
        fuse_session_process_buf(m_session, &buffer);
    }
    std::free(buffer.mem);
}

int ServeLoop::receive(fuse_buf& buffer)
{
    pollfd fds[2] = {{fuse_session_fd(m_session), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
        return -errno;
    }
    if (fds[1].revents != 0) {
        return -ECANCELED;
    }
    // Readable, or an error (unmounted) that the read reports.
    return fuse_session_receive_buf(m_session, &buffer);
}

bool ServeLoop::requestsQueued() const
{
    pollfd fd{fuse_session_fd(m_session), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN) != 0;
}

void ServeLoop::handOverLocked()
{
    if (m_stopping) {
        return;
    }
    if (m_idle > 0) {
        m_turn.notify_one();
    } else if (m_threads.size() < m_maxThreads) {
        startThreadLocked();
    }
}

void ServeLoop::startThreadLocked()
{
    // Signals are for the calling thread, whose handlers end the session.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    try {
        m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // No thread to spare: the threads there are take the requests in turn.
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void ServeLoop::stopLocked()
{
    if (m_stopping) {
        return;
    }
    m_stopping = true;
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
    m_turn.notify_all();
    m_tick.notify_all();
}

} // namespace kestrava::fuse
