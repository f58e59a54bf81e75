// Locking drives automatically: the settings (extra values of the settings file that other
// readers of the format ignore), the idle timer, and unmounting every drive when the screen
// locks, the computer goes to sleep or the drives were not used for a while.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kestrava {
class ProgramValues;
class Prompter;
} // namespace kestrava
namespace kestrava::host {
class DriveHost;
}

namespace kestrava::prefs {

inline constexpr std::string_view kAutoLockScreenValue = "AutoLockScreen";
inline constexpr std::string_view kAutoLockSleepValue = "AutoLockSleep";
inline constexpr std::string_view kAutoLockIdleValue = "AutoLockIdleMinutes";
inline constexpr std::string_view kAutoLockLazyValue = "AutoLockLazy";
inline constexpr unsigned kMaxIdleMinutes = 24 * 60;
inline constexpr int kMsgDriveBusy = 1501; // "Drive %s stays mounted: it is in use by %s"

// Everything is off by default.
struct AutoLockSettings
{
    bool onScreenLock = false;
    bool onSleep = false;
    unsigned idleMinutes = 0; // 0: no idle timeout
    bool detachBusy = false;  // a busy drive is detached lazily instead of staying mounted
    bool operator==(const AutoLockSettings&) const = default;
};

AutoLockSettings loadAutoLock(ProgramValues& values);
// One write; values that are off are removed, so a default file stays as it was.
bool saveAutoLock(ProgramValues& values, const AutoLockSettings& settings);
// "0".."1440" minutes; nothing for anything else.
std::optional<unsigned> parseIdleMinutes(std::string_view text);

// Time since the last file system request, on an injected clock. touch() is called for every
// request, from any thread.
class IdleTimer
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    IdleTimer(std::chrono::steady_clock::duration limit, Clock clock = std::chrono::steady_clock::now);

    void touch() noexcept;
    bool expired() const;
    std::chrono::steady_clock::duration idleFor() const;
    std::chrono::steady_clock::duration limit() const { return m_limit; }

private:
    std::chrono::steady_clock::duration m_limit;
    Clock m_clock;
    std::atomic<std::chrono::steady_clock::rep> m_last;
};

// Checks an idle timer every checkEvery on a thread of its own; once it has expired, calls
// onIdle. When onIdle reports false (the drive could not be let go) the count starts again.
class IdleWatch
{
public:
    IdleWatch(IdleTimer& timer, std::chrono::milliseconds checkEvery, std::function<bool()> onIdle);
    ~IdleWatch();
    IdleWatch(const IdleWatch&) = delete;
    IdleWatch& operator=(const IdleWatch&) = delete;

private:
    void run();

    IdleTimer& m_timer;
    std::chrono::milliseconds m_checkEvery;
    std::function<bool()> m_onIdle;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// The programs with a file, folder or working folder at or below folder: "name (pid)" each,
// read from procRoot (/proc).
std::vector<std::string> programsUsing(const std::filesystem::path& folder,
                                       const std::filesystem::path& procRoot = "/proc");

enum class LockReason
{
    ScreenLocked,
    Sleep,
    Idle,
};
std::string_view lockReasonName(LockReason reason);

struct LockReport
{
    std::vector<std::string> unmounted;                    // letters
    std::vector<std::pair<std::string, std::string>> busy; // letter, programs holding it
};

// Unmounts every Kestrava drive mounted now. A drive that refuses (files open) is detached
// lazily when detachBusy is set; otherwise it stays mounted and message 1501 names the programs
// holding it. forget is called with the letter of each drive that was let go, so the caller can
// update its own lists.
LockReport lockAllDrives(host::DriveHost& host, bool detachBusy, LockReason reason, Prompter* prompter,
                         const std::function<void(const std::string& letter)>& forget = {});

} // namespace kestrava::prefs
