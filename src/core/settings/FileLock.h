// An exclusive advisory lock (flock) on a small sibling file, held for the life of the object.
// It serialises the load-modify-save cycles of every process that changes one file.
#pragma once

#include <filesystem>
#include <string>

namespace kestrava::settings {

class FileLock
{
public:
    // Creates the lock file (mode 0600) if needed and waits for the lock.
    explicit FileLock(const std::filesystem::path& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return m_fd >= 0; }
    const std::string& error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

// "<file>.lock" beside the file.
std::filesystem::path lockPathFor(const std::filesystem::path& file);

// Removes the temporary files of saves of file that never finished (their writer was killed).
// Only the holder of the file's lock writes them, so call it while holding the lock.
void removeAbandonedTemporaries(const std::filesystem::path& file);

} // namespace kestrava::settings
