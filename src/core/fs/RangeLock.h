// Locks ranges of content blocks of one file: readers share, writers exclude anyone touching
// an overlapping range. Read-modify-write of a block must not interleave with another write
// of that block, whichever handle either came through.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kestrava::fs {

class RangeLock
{
public:
    static constexpr std::uint64_t kWholeFile = UINT64_MAX;

    class Guard
    {
    public:
        Guard(RangeLock& lock, std::uint64_t first, std::uint64_t last, bool exclusive);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        RangeLock& m_lock;
        std::uint64_t m_id;
    };

private:
    struct Held
    {
        std::uint64_t id;
        std::uint64_t first;
        std::uint64_t last;
        bool exclusive;
    };
    bool conflicts(std::uint64_t first, std::uint64_t last, bool exclusive) const;

    std::mutex m_mutex;
    std::condition_variable m_released;
    std::vector<Held> m_held;
    std::uint64_t m_nextId = 1;
};

} // namespace kestrava::fs
