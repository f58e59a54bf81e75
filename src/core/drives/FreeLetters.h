// Drive letters: the identity of a drive ("K:"), and which of them are free for a new mount.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::host {
class DriveHost;
}

namespace kestrava::drives {

// "k", "K" , "k:" and "K:" all name the letter "K:"; anything else names none.
std::optional<std::string> normalizeDriveLetter(std::string_view text);

// Whether two letters name the same drive ("k:" and "K:" do).
bool sameDriveLetter(std::string_view a, std::string_view b);

// "A:" to "Z:" in order, each one that no Kestrava drive is mounted at and whose mount point
// is neither a mount nor a non-empty folder. The last entry is the one to preselect.
std::vector<std::string> freeDriveLetters(host::DriveHost& host);

// Whether letter is one of freeDriveLetters: a new mount may use it.
bool isDriveLetterFree(host::DriveHost& host, std::string_view letter);

// Whether the host serves a drive (of this or another process) at letter.
bool hostServesLetter(host::DriveHost& host, std::string_view letter);

} // namespace kestrava::drives
