// The loop that serves one FUSE session on several threads while keeping a serial program on
// one warm thread. At most one thread waits for the next request; having received it, it
// serves it itself unless more requests are already queued or this one may take long (large
// reads and writes, fsync, size changes): then another thread takes over the waiting first,
// woken or started (up to the limit). A program that sends one request at a time so stays on
// the same thread instead of waking a different one each time, as a pool of threads that all
// wait at once would. Should a request served in place block (a stalled backing folder), a
// supervisor on the calling thread hands the waiting over once requests queue behind it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct fuse_session;
struct fuse_buf;

namespace kestrava::fuse {

class ServeLoop
{
public:
    ServeLoop(struct ::fuse_session* session, unsigned int maxThreads);
    ~ServeLoop();
    ServeLoop(const ServeLoop&) = delete;
    ServeLoop& operator=(const ServeLoop&) = delete;

    // Serves until the session ends (unmounted, or ended by a signal handler on the calling
    // thread, which alone receives signals). 0, or a negative errno when reading failed.
    int run();

private:
    void work();
    int receive(::fuse_buf& buffer);
    bool requestsQueued() const;
    void handOverLocked();
    void startThreadLocked();
    void stopLocked();

    struct ::fuse_session* m_session;
    unsigned int m_maxThreads;
    int m_wakeFd = -1; // written to end the wait of the thread that waits for requests

    std::mutex m_mutex;
    std::condition_variable m_turn; // idle threads wait here for the waiting role
    std::condition_variable m_tick; // the supervisor's pace
    std::vector<std::thread> m_threads;
    unsigned int m_idle = 0;
    bool m_waiting = false; // a thread waits for the next request
    bool m_stopping = false;
    int m_error = 0;
    std::atomic<std::uint64_t> m_served{0};
};

} // namespace kestrava::fuse
