// The one-shot tasks after the desktop app has started: the first-run tasks of "/runonce" one
// second in, and the automatic update check two seconds in. The clock is passed in, so the
// schedule can be tested without waiting.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

namespace kestrava::update {

inline constexpr std::chrono::milliseconds kRunOnceDelay{1000};
inline constexpr std::chrono::milliseconds kAutoUpdateDelay{2000};

enum class StartTask
{
    RunOnce,
    AutoUpdateCheck,
};

class StartTimers
{
public:
    using Clock = std::chrono::steady_clock;

    // started: when the main window was ready. Without runOnce only the update check is due.
    StartTimers(Clock::time_point started, bool runOnce);

    // The tasks due at now that were not handed out before, in their order.
    std::vector<StartTask> takeDue(Clock::time_point now);
    // How long until the next task is due (zero when one is due now); nothing when all ran.
    std::optional<std::chrono::milliseconds> untilNext(Clock::time_point now) const;

private:
    struct Pending
    {
        StartTask task;
        Clock::time_point due;
    };
    std::vector<Pending> m_pending; // ordered by due time
};

} // namespace kestrava::update
