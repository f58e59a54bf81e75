#include "core/drives/MountedDrives.h"

#include "core/token/DriveContext.h"

#include <algorithm>
#include <utility>

namespace kestrava::drives {

void MountedDrives::add(ContextPtr context)
{
    std::lock_guard lock(m_mutex);
    m_contexts.push_back(std::move(context));
}

MountedDrives::ContextPtr MountedDrives::findByFolder(const std::filesystem::path& folder) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& context : m_contexts) {
        if (context->backingFolder() == folder) {
            return context;
        }
    }
    return nullptr;
}

bool MountedDrives::remove(const token::DriveContext* context)
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_contexts.begin(), m_contexts.end(),
                                 [&](const ContextPtr& c) { return c.get() == context; });
    if (it == m_contexts.end()) {
        return false;
    }
    m_contexts.erase(it);
    return true;
}

std::vector<MountedDrives::ContextPtr> MountedDrives::contexts() const
{
    std::lock_guard lock(m_mutex);
    return m_contexts;
}

std::vector<std::string> MountedDrives::mountedLetters() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> letters;
    for (const auto& context : m_contexts) {
        if (context->mounted) {
            letters.push_back(context->driveLetter());
        }
    }
    return letters;
}

std::vector<MountedDrives::ContextPtr> MountedDrives::takeAll()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_contexts, {});
}

std::size_t MountedDrives::size() const
{
    std::lock_guard lock(m_mutex);
    return m_contexts.size();
}

} // namespace kestrava::drives
