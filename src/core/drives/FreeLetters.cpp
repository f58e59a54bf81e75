#include "core/drives/FreeLetters.h"

#include "core/host/DriveHost.h"

#include <algorithm>
#include <cctype>

namespace kestrava::drives {

std::optional<std::string> normalizeDriveLetter(std::string_view text)
{
    if (text.size() == 2 && text[1] == ':') {
        text.remove_suffix(1);
    }
    if (text.size() != 1 || std::isalpha(static_cast<unsigned char>(text[0])) == 0) {
        return std::nullopt;
    }
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])))) + ":";
}

bool sameDriveLetter(std::string_view a, std::string_view b)
{
    const auto na = normalizeDriveLetter(a);
    const auto nb = normalizeDriveLetter(b);
    return na && nb && *na == *nb;
}

std::vector<std::string> freeDriveLetters(host::DriveHost& host)
{
    const auto mounted = host.mountedDrives();
    std::vector<std::string> free;
    for (char c = 'A'; c <= 'Z'; ++c) {
        const std::string letter = std::string(1, c) + ":";
        bool taken = false;
        for (const auto& drive : mounted) {
            taken = taken || sameDriveLetter(drive.letter, letter);
        }
        if (!taken && !host.isLetterInUse(letter)) {
            free.push_back(letter);
        }
    }
    return free;
}

bool isDriveLetterFree(host::DriveHost& host, std::string_view letter)
{
    const auto free = freeDriveLetters(host);
    return std::any_of(free.begin(), free.end(),
                       [&](const std::string& candidate) { return sameDriveLetter(candidate, letter); });
}

bool hostServesLetter(host::DriveHost& host, std::string_view letter)
{
    const auto served = host.mountedDrives();
    return std::any_of(served.begin(), served.end(), [&](const host::MountedDrive& drive) {
        return sameDriveLetter(drive.letter, letter);
    });
}

} // namespace kestrava::drives
