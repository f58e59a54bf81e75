// The drives this process has mounted, or is editing: one entry per unlocked context, with the
// runtime state of that drive (whether this process mounted it, and at which letter). The
// desktop app's worker threads add, mark and remove entries while the window and the tray read
// them, so every access takes the list's lock; the contexts themselves hold keys and options
// only. Drives mounted by other processes (kestrava-cli) are not here: the host's mount table
// is the authority on what is mounted.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrava::token {
class DriveContext;
}

namespace kestrava::drives {

class MountedDrives
{
public:
    using ContextPtr = std::shared_ptr<token::DriveContext>;

    struct Entry
    {
        ContextPtr context;
        bool mounted = false;
        std::string letter; // where it is mounted; empty while it is not
    };

    // A new entry, not mounted (unlocked for a mount or for the edit dialog).
    void add(ContextPtr context);
    // The first context whose backing folder is exactly folder.
    ContextPtr findByFolder(const std::filesystem::path& folder) const;
    // Marks the entry of context mounted at its current letter, or not mounted. False when
    // context has no entry.
    bool setMounted(const token::DriveContext& context, bool mounted);
    bool isMounted(const token::DriveContext& context) const;
    bool remove(const token::DriveContext* context);
    // Removes the entry of context unless it is mounted; true when removed.
    bool removeUnlessMounted(const token::DriveContext& context);
    std::vector<ContextPtr> contexts() const;
    // Letters of the mounted entries, in list order.
    std::vector<std::string> mountedLetters() const;
    // Empties the list (at exit, to unmount each mounted entry).
    std::vector<Entry> takeAll();
    std::size_t size() const;

private:
    Entry* find(const token::DriveContext& context);
    const Entry* find(const token::DriveContext& context) const;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

} // namespace kestrava::drives
