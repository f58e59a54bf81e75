#include "core/drives/MountedDrives.h"

#include "core/token/DriveContext.h"

#include <algorithm>
#include <utility>

namespace kestrava::drives {

MountedDrives::Entry* MountedDrives::find(const token::DriveContext& context)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& entry) { return entry.context.get() == &context; });
    return it == m_entries.end() ? nullptr : &*it;
}

const MountedDrives::Entry* MountedDrives::find(const token::DriveContext& context) const
{
    return const_cast<MountedDrives*>(this)->find(context);
}

void MountedDrives::add(ContextPtr context)
{
    std::lock_guard lock(m_mutex);
    m_entries.push_back(Entry{std::move(context), false, {}});
}

MountedDrives::ContextPtr MountedDrives::findByFolder(const std::filesystem::path& folder) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries) {
        if (entry.context->backingFolder() == folder) {
            return entry.context;
        }
    }
    return nullptr;
}

bool MountedDrives::setMounted(const token::DriveContext& context, bool mounted)
{
    std::lock_guard lock(m_mutex);
    Entry* entry = find(context);
    if (entry == nullptr) {
        return false;
    }
    entry->mounted = mounted;
    entry->letter = mounted ? context.driveLetter() : std::string();
    return true;
}

bool MountedDrives::isMounted(const token::DriveContext& context) const
{
    std::lock_guard lock(m_mutex);
    const Entry* entry = find(context);
    return entry != nullptr && entry->mounted;
}

bool MountedDrives::remove(const token::DriveContext* context)
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& entry) { return entry.context.get() == context; });
    if (it == m_entries.end()) {
        return false;
    }
    m_entries.erase(it);
    return true;
}

bool MountedDrives::removeUnlessMounted(const token::DriveContext& context)
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& entry) { return entry.context.get() == &context; });
    if (it == m_entries.end() || it->mounted) {
        return false;
    }
    m_entries.erase(it);
    return true;
}

std::vector<MountedDrives::ContextPtr> MountedDrives::contexts() const
{
    std::lock_guard lock(m_mutex);
    std::vector<ContextPtr> contexts;
    for (const auto& entry : m_entries) {
        contexts.push_back(entry.context);
    }
    return contexts;
}

std::vector<std::string> MountedDrives::mountedLetters() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> letters;
    for (const auto& entry : m_entries) {
        if (entry.mounted) {
            letters.push_back(entry.letter);
        }
    }
    return letters;
}

std::vector<MountedDrives::Entry> MountedDrives::takeAll()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_entries, {});
}

std::size_t MountedDrives::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

} // namespace kestrava::drives
