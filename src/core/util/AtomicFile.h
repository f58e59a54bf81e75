// Replacing the files the program owns (token, settings, registry) so that a crash or a
// full disk leaves the old file or the new one, never a truncated one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kestrava::util {

struct WriteResult
{
    bool ok = false;
    int error = 0;       // errno of the failing step
    std::string message; // for logs and messages; never contains the data
};

// Writes all of data to fd, resuming after interruptions and short writes; false on an error
// (errno says which).
bool writeAll(int fd, std::string_view data);

// Writes data to a temporary file in the target's folder, flushes it to disk, renames it
// over the target and flushes the folder. The new file gets the given mode. On failure the
// target is untouched and the temporary file is removed.
WriteResult writeFileAtomically(const std::filesystem::path& target, std::string_view data,
                                mode_t mode = 0600);

// Reads a whole regular file of at most maxBytes. Fails (returns false) for directories,
// unreadable or larger files, with a reason in error.
bool readSmallFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& contents,
                   std::string& error);

} // namespace kestrava::util
