#include "core/fs/ConflictIndex.h"

#include "core/fs/FsError.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <time.h>

namespace kestrava::fs {
namespace {

constexpr std::size_t kMaxDirectories = 256;
// Well above the timestamp granularity of the usual file systems (a clock tick).
constexpr long long kSettleNanoseconds = 200'000'000;

long long nanoseconds(const timespec& t)
{
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

// Whether the directory's last change lies far enough in the past that a later change must
// show in its times.
bool settledAt(const DirStamp& stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long changed = std::max(nanoseconds(stamp.mtime), nanoseconds(stamp.ctime));
    return nanoseconds(now) - changed > kSettleNanoseconds;
}

} // namespace

std::shared_ptr<const ConflictIndex::Listing> ConflictIndex::scan(int dirFd) const
{
    UniqueFd fd(checkSys(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    DIR* dir = ::fdopendir(fd.get());
    if (dir == nullptr) {
        throw FsError(errno);
    }
    fd.release();
    std::set<std::string> real;
    std::map<std::string, ConflictCopy> copies;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view stored = e->d_name;
        if (stored == "." || stored == ".." || IsHiddenRootEntry(stored)) {
            continue;
        }
        std::string plain = m_decode(stored);
        if (!plain.empty()) {
            real.insert(std::move(plain));
        } else if (auto copy = recogniseConflictCopy(stored, m_decode)) {
            copies.emplace(std::string(stored), std::move(*copy));
        }
    }
    ::closedir(dir);
    if (copies.empty()) {
        return nullptr;
    }
    auto listing = std::make_shared<Listing>();
    listing->shownByStored = assignDisplayNames(real, copies);
    for (const auto& [stored, shown] : listing->shownByStored) {
        listing->storedByShown.emplace(shown, stored);
    }
    return listing;
}

ConflictIndex::Entry ConflictIndex::current(int dirFd, bool needSettled, bool* scanned)
{
    const DirStamp stamp = stampOf(dirFd);
    const Key key{stamp.dev, stamp.ino};
    {
        std::lock_guard lock(m_mutex);
        auto it = m_dirs.find(key);
        if (it != m_dirs.end() && it->second.stamp == stamp && (it->second.settled || !needSettled)) {
            return it->second;
        }
    }
    if (scanned != nullptr) {
        *scanned = true;
    }
    Entry fresh{stamp, settledAt(stamp), scan(dirFd)};
    std::lock_guard lock(m_mutex);
    ++m_scans;
    if (m_dirs.size() >= kMaxDirectories) {
        m_dirs.clear();
    }
    m_dirs.insert_or_assign(key, fresh);
    return fresh;
}

std::optional<std::string> ConflictIndex::find(int dirFd, std::string_view shownName)
{
    const std::string shown(shownName);
    for (const bool needSettled : {false, true}) {
        bool scanned = false;
        const Entry entry = current(dirFd, needSettled, &scanned);
        if (entry.listing) {
            if (auto it = entry.listing->storedByShown.find(shown);
                it != entry.listing->storedByShown.end()) {
                return it->second;
            }
        }
        if (entry.settled || scanned) {
            break; // a trusted miss, or one just read from the directory
        }
    }
    return std::nullopt;
}

std::shared_ptr<const ConflictIndex::Listing> ConflictIndex::copiesIn(int dirFd)
{
    return current(dirFd, true, nullptr).listing;
}

std::size_t ConflictIndex::scanCount() const
{
    std::lock_guard lock(m_mutex);
    return m_scans;
}

} // namespace kestrava::fs
