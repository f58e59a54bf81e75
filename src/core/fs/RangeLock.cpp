#include "core/fs/RangeLock.h"

#include <algorithm>

namespace kestrava::fs {

bool RangeLock::conflicts(std::uint64_t first, std::uint64_t last, bool exclusive) const
{
    return std::any_of(m_held.begin(), m_held.end(), [&](const Held& h) {
        return (exclusive || h.exclusive) && first <= h.last && h.first <= last;
    });
}

RangeLock::Guard::Guard(RangeLock& lock, std::uint64_t first, std::uint64_t last, bool exclusive)
    : m_lock(lock)
{
    std::unique_lock guard(lock.m_mutex);
    lock.m_released.wait(guard, [&] { return !lock.conflicts(first, last, exclusive); });
    m_id = lock.m_nextId++;
    lock.m_held.push_back(Held{m_id, first, last, exclusive});
}

RangeLock::Guard::~Guard()
{
    {
        std::lock_guard guard(m_lock.m_mutex);
        auto it = std::find_if(m_lock.m_held.begin(), m_lock.m_held.end(),
                               [&](const Held& h) { return h.id == m_id; });
        if (it != m_lock.m_held.end()) {
            m_lock.m_held.erase(it);
        }
    }
    m_lock.m_released.notify_all();
}

} // namespace kestrava::fs
