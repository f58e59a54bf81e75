// The contexts of the drives this process has mounted, or is editing. The desktop app's worker
// threads add and remove entries while the tray reads the letters, so every access is locked.
// Drives mounted by other processes (kestrava-cli) are not here: the host's mount table is
// the authority on what is mounted.
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

    void add(ContextPtr context);
    // The first context whose backing folder is exactly folder.
    ContextPtr findByFolder(const std::filesystem::path& folder) const;
    bool remove(const token::DriveContext* context);
    std::vector<ContextPtr> contexts() const;
    // Letters of the contexts marked mounted, in list order.
    std::vector<std::string> mountedLetters() const;
    // Empties the list (at exit, after unmounting each).
    std::vector<ContextPtr> takeAll();
    std::size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::vector<ContextPtr> m_contexts;
};

} // namespace kestrava::drives
