// Open files of one drive. Every open gets its own backing descriptor; what must be shared
// between all opens of one backing file (the block locks and the open count) lives in one
// entry per backing inode, so two handles on one file cannot tear a block.
#pragma once

#include "core/fs/RangeLock.h"
#include "core/fs/UniqueFd.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <unordered_map>

namespace kestrava::fs {

struct InodeEntry
{
    RangeLock blocks;
    std::atomic<int> openCount{0};
};

struct OpenFile
{
    UniqueFd fd;
    std::shared_ptr<InodeEntry> inode;
    bool append = false;        // writes go to the end of the file
    bool readOnly = false;      // the backing file could only be opened for reading
    bool plainContents = false; // the token file: bytes pass through unchanged
};

class OpenFileTable
{
public:
    // The shared entry of a backing inode, made on first use and kept while referenced.
    std::shared_ptr<InodeEntry> inode(dev_t dev, ino_t ino);

    // Registers an open file and returns its handle number (never 0).
    std::uint64_t add(std::unique_ptr<OpenFile> file);
    // Throws FsError (EBADF) for an unknown handle.
    std::shared_ptr<OpenFile> get(std::uint64_t handle) const;
    // Forgets a handle; returns the opens of its inode that remain. Throws FsError (EBADF).
    int remove(std::uint64_t handle);
    // Current opens of a backing inode through this drive.
    int openCount(dev_t dev, ino_t ino);

private:
    using Key = std::pair<dev_t, ino_t>;

    mutable std::mutex m_mutex;
    std::unordered_map<std::uint64_t, std::shared_ptr<OpenFile>> m_files;
    std::map<Key, std::weak_ptr<InodeEntry>> m_inodes;
    std::uint64_t m_next = 1;
};

} // namespace kestrava::fs
