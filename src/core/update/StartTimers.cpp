#include "core/update/StartTimers.h"

#include <algorithm>

namespace kestrava::update {

StartTimers::StartTimers(Clock::time_point started, bool runOnce)
{
    if (runOnce) {
        m_pending.push_back({StartTask::RunOnce, started + kRunOnceDelay});
    }
    m_pending.push_back({StartTask::AutoUpdateCheck, started + kAutoUpdateDelay});
}

std::vector<StartTask> StartTimers::takeDue(Clock::time_point now)
{
    std::vector<StartTask> due;
    const auto firstLater =
        std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending& p) { return p.due > now; });
    for (auto it = m_pending.begin(); it != firstLater; ++it) {
        due.push_back(it->task);
    }
    m_pending.erase(m_pending.begin(), firstLater);
    return due;
}

std::optional<std::chrono::milliseconds> StartTimers::untilNext(Clock::time_point now) const
{
    if (m_pending.empty()) {
        return std::nullopt;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_pending.front().due - now);
    return std::max(wait, std::chrono::milliseconds(0));
}

} // namespace kestrava::update
