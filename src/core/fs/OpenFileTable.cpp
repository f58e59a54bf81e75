#include "core/fs/OpenFileTable.h"

#include "core/fs/FsError.h"

namespace kestrava::fs {

std::shared_ptr<InodeEntry> OpenFileTable::inode(dev_t dev, ino_t ino)
{
    std::lock_guard lock(m_mutex);
    auto& slot = m_inodes[Key{dev, ino}];
    if (auto existing = slot.lock()) {
        return existing;
    }
    auto fresh = std::make_shared<InodeEntry>();
    slot = fresh;
    // Drop entries nobody references any more, now and then, so the map does not grow.
    if (m_inodes.size() > 2 * m_files.size() + 64) {
        std::erase_if(m_inodes, [](const auto& item) { return item.second.expired(); });
    }
    return fresh;
}

std::uint64_t OpenFileTable::add(std::unique_ptr<OpenFile> file)
{
    file->inode->openCount.fetch_add(1);
    std::lock_guard lock(m_mutex);
    const std::uint64_t handle = m_next++;
    m_files.emplace(handle, std::shared_ptr<OpenFile>(std::move(file)));
    return handle;
}

std::shared_ptr<OpenFile> OpenFileTable::get(std::uint64_t handle) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(handle);
    if (it == m_files.end()) {
        throw FsError(EBADF);
    }
    return it->second;
}

int OpenFileTable::remove(std::uint64_t handle)
{
    std::shared_ptr<OpenFile> file;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(handle);
        if (it == m_files.end()) {
            throw FsError(EBADF);
        }
        file = std::move(it->second);
        m_files.erase(it);
    }
    return file->inode->openCount.fetch_sub(1) - 1;
}

int OpenFileTable::openCount(dev_t dev, ino_t ino)
{
    std::lock_guard lock(m_mutex);
    auto it = m_inodes.find(Key{dev, ino});
    if (it == m_inodes.end()) {
        return 0;
    }
    auto entry = it->second.lock();
    return entry ? entry->openCount.load() : 0;
}

} // namespace kestrava::fs
