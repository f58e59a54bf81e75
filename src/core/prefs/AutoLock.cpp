#include "core/prefs/AutoLock.h"

#include "core/access/ProgramValues.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/host/DriveHost.h"

#include <charconv>
#include <fstream>
#include <system_error>

namespace kestrava::prefs {
namespace {

constexpr std::string_view kOn = "Y";

bool isBelow(const std::filesystem::path& target, const std::string& folder)
{
    const std::string text = target.string();
    return text == folder ||
           (text.size() > folder.size() && text.starts_with(folder) && text[folder.size()] == '/');
}

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& item : items) {
        out += out.empty() ? "" : ", ";
        out += item;
    }
    return out;
}

} // namespace

std::optional<unsigned> parseIdleMinutes(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > kMaxIdleMinutes) {
        return std::nullopt;
    }
    return value;
}

AutoLockSettings loadAutoLock(ProgramValues& values)
{
    AutoLockSettings settings;
    settings.onScreenLock = values.get(kAutoLockScreenValue).value_or("") == kOn;
    settings.onSleep = values.get(kAutoLockSleepValue).value_or("") == kOn;
    settings.detachBusy = values.get(kAutoLockLazyValue).value_or("") == kOn;
    settings.idleMinutes = parseIdleMinutes(values.get(kAutoLockIdleValue).value_or("")).value_or(0);
    return settings;
}

bool saveAutoLock(ProgramValues& values, const AutoLockSettings& settings)
{
    const auto flag = [](std::string_view name, bool on) {
        return ProgramValueChange{
            std::string(name), on ? std::optional<std::string>(std::string(kOn)) : std::nullopt, {}};
    };
    const unsigned minutes = std::min(settings.idleMinutes, kMaxIdleMinutes);
    return values.apply({flag(kAutoLockScreenValue, settings.onScreenLock),
                         flag(kAutoLockSleepValue, settings.onSleep),
                         flag(kAutoLockLazyValue, settings.detachBusy),
                         {std::string(kAutoLockIdleValue),
                          minutes == 0 ? std::nullopt : std::optional<std::string>(std::to_string(minutes)),
                          {}}});
}

IdleTimer::IdleTimer(std::chrono::steady_clock::duration limit, Clock clock)
    : m_limit(limit), m_clock(std::move(clock)), m_last(m_clock().time_since_epoch().count())
{
}

void IdleTimer::touch() noexcept
{
    m_last.store(m_clock().time_since_epoch().count(), std::memory_order_relaxed);
}

std::chrono::steady_clock::duration IdleTimer::idleFor() const
{
    const auto last = std::chrono::steady_clock::duration(m_last.load(std::memory_order_relaxed));
    return m_clock().time_since_epoch() - last;
}

bool IdleTimer::expired() const
{
    return m_limit.count() > 0 && idleFor() >= m_limit;
}

IdleWatch::IdleWatch(IdleTimer& timer, std::chrono::milliseconds checkEvery, std::function<bool()> onIdle)
    : m_timer(timer), m_checkEvery(checkEvery), m_onIdle(std::move(onIdle)), m_thread([this] { run(); })
{
}

IdleWatch::~IdleWatch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void IdleWatch::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        m_wake.wait_for(lock, m_checkEvery, [this] { return m_stop; });
        if (m_stop || !m_timer.expired()) {
            continue;
        }
        lock.unlock();
        const bool letGo = m_onIdle();
        lock.lock();
        if (!letGo) {
            m_timer.touch();
        }
    }
}

std::vector<std::string> programsUsing(const std::filesystem::path& folder,
                                       const std::filesystem::path& procRoot)
{
    std::vector<std::string> programs;
    const std::string prefix = folder.lexically_normal().string();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        bool holds = false;
        for (const char* link : {"cwd", "root"}) {
            std::error_code linkError;
            holds = holds || isBelow(std::filesystem::read_symlink(it->path() / link, linkError), prefix);
        }
        std::error_code fdError;
        for (std::filesystem::directory_iterator fd(it->path() / "fd", fdError), fdEnd;
             !holds && !fdError && fd != fdEnd; fd.increment(fdError)) {
            std::error_code linkError;
            holds = isBelow(std::filesystem::read_symlink(fd->path(), linkError), prefix);
        }
        if (!holds) {
            continue;
        }
        std::string name;
        std::ifstream comm(it->path() / "comm");
        std::getline(comm, name);
        programs.push_back((name.empty() ? std::string("?") : name) + " (" + pid + ")");
    }
    return programs;
}

std::string_view lockReasonName(LockReason reason)
{
    switch (reason) {
    case LockReason::ScreenLocked:
        return "screen locked";
    case LockReason::Sleep:
        return "going to sleep";
    case LockReason::Idle:
        return "drives unused";
    }
    return "";
}

LockReport lockAllDrives(host::DriveHost& host, bool detachBusy, LockReason reason, Prompter* prompter,
                         const std::function<void(const std::string& letter)>& forget)
{
    LockReport report;
    writeLog("AutoLock: %s", std::string(lockReasonName(reason)).c_str());
    for (const auto& drive : host.mountedDrives()) {
        bool letGo = host.UnmountFileSystem(drive.letter);
        if (!letGo && detachBusy) {
            letGo = host.detachFileSystem(drive.letter);
        }
        if (letGo) {
            report.unmounted.push_back(drive.letter);
            if (forget) {
                forget(drive.letter);
            }
            continue;
        }
        const std::string holders = joined(programsUsing(drive.mountPoint));
        writeLog("!AutoLock: %s stays mounted, in use by %s", drive.letter.c_str(), holders.c_str());
        report.busy.emplace_back(drive.letter, holders);
        if (prompter != nullptr) {
            prompter->messageBox(kMsgDriveBusy, {drive.letter, holders.empty() ? "?" : holders}, Buttons::OK,
                                 Icon::Warning);
        }
    }
    return report;
}

} // namespace kestrava::prefs
