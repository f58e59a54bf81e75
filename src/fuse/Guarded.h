// The one place where errors of the file system layer become what FUSE expects: FsError
// turns into its negative errno, anything unexpected into -EIO and a log line. Every FUSE
// callback runs its body through guarded(), so nothing is ever thrown across the C boundary.
#pragma once

#include "core/app/ActivityLog.h"
#include "core/fs/FsError.h"
#include "core/prefs/AutoLock.h"

#include <atomic>
#include <cerrno>
#include <exception>

namespace kestrava::fuse {

// The serving process's idle timer, when it has an idle timeout: every request counts as use.
inline std::atomic<prefs::IdleTimer*> g_requestTimer{nullptr};

template <class Body> auto guarded(const char* op, Body&& body) noexcept -> decltype(body())
{
    if (prefs::IdleTimer* timer = g_requestTimer.load(std::memory_order_relaxed)) {
        timer->touch();
    }
    try {
        return body();
    } catch (const fs::FsError& e) {
        return -e.error();
    } catch (const std::exception& e) {
        try {
            writeLog("!FUSE %s: unexpected error: %s", op, e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            writeLog("!FUSE %s: unexpected error", op);
        } catch (...) {
        }
    }
    return -EIO;
}

} // namespace kestrava::fuse
