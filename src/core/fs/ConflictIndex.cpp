#include "core/fs/ConflictIndex.h"

#include "core/fs/FsError.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <set>
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
    const auto decode = [this, dirFd](std::string_view text) { return m_decode(dirFd, text); };
    std::set<std::string> real;
    std::map<std::string, ConflictCopy> copies;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view stored = e->d_name;
        if (stored == "." || stored == ".." || IsHiddenRootEntry(stored)) {
            continue;
        }
        std::string plain = decode(stored);
        if (!plain.empty()) {
            real.insert(std::move(plain));
        } else if (auto copy = recogniseConflictCopy(stored, decode)) {
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

ConflictIndex::Entry ConflictIndex::current(int dirFd, bool rescan, bool* scanned)
{
    const DirStamp stamp = stampOf(dirFd);
    const Key key{stamp.dev, stamp.ino};
    if (!rescan) {
        std::lock_guard lock(m_mutex);
        auto it = m_dirs.find(key);
        if (it != m_dirs.end() && it->second.stamp == stamp) {
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

bool ConflictIndex::mayHaveCopy(int dirFd, std::string_view shownName) const
{
    for (const ConflictCopy& origin : possibleOrigins(shownName)) {
        std::string stored;
        try {
            stored = m_encode(dirFd, origin.plainName) + origin.suffix;
        } catch (const FsError&) {
            continue; // a plain name the drive cannot store has no copies either
        }
        struct stat st
        {
        };
        if (::fstatat(dirFd, stored.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> ConflictIndex::find(int dirFd, std::string_view shownName)
{
    const std::string shown(shownName);
    const auto lookup = [&shown](const Entry& entry) -> std::optional<std::string> {
        if (entry.listing) {
            if (auto it = entry.listing->storedByShown.find(shown);
                it != entry.listing->storedByShown.end()) {
                return it->second;
            }
        }
        return std::nullopt;
    };
    bool scanned = false;
    const Entry entry = current(dirFd, false, &scanned);
    if (auto hit = lookup(entry)) {
        return hit;
    }
    if (scanned || entry.settled || (!mayHaveCopy(dirFd, shownName) && !mayBeNumbered(shownName))) {
        return std::nullopt;
    }
    return lookup(current(dirFd, true, nullptr));
}

std::shared_ptr<const ConflictIndex::Listing> ConflictIndex::copiesIn(int dirFd, bool rescan)
{
    return current(dirFd, rescan, nullptr).listing;
}

void ConflictIndex::noteChanged(int dirFd, const DirStamp& before, std::string_view storedName)
{
    const Key key{before.dev, before.ino};
    const bool exact = isExactName(dirFd, storedName);
    std::lock_guard lock(m_mutex);
    auto it = m_dirs.find(key);
    if (it == m_dirs.end()) {
        return;
    }
    struct stat st
    {
    };
    // With copies present, a real name coming or going can move their shown names.
    if (!(it->second.stamp == before) || it->second.listing || !exact || ::fstat(dirFd, &st) != 0) {
        m_dirs.erase(it);
        return;
    }
    it->second.stamp = DirStamp::of(st);
    it->second.settled = false;
}

std::size_t ConflictIndex::scanCount() const
{
    std::lock_guard lock(m_mutex);
    return m_scans;
}

} // namespace kestrava::fs
