// The drive check: what in a backing folder keeps the drive from opening, or from being whole
// and usable on other systems. It reads the security token, looks for a backup of it, and,
// with the password, walks the backing tree: names that do not decrypt, sync clients' conflict
// copies, files someone put there unencrypted, names and paths too long for other systems,
// entries that cannot be read, and (asked for) every file's contents.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::fs {
class DriveFs;
}

namespace kestrava::drives {

enum class FindingKind
{
    TokenMissing,
    TokenUnreadable,
    NotAToken,
    WrongPassword,
    NoTokenBackup,
    UndecryptableName,   // looks encrypted, but not with this drive's key (or damaged)
    ConflictCopy,        // a sync client's copy, shown on the drive under a name of its own
    ForeignPlainFile,    // not an encrypted name at all: put there past the drive
    NameTooLong,         // a stored or shown name over 255 UTF-16 units
    PathTooLong,         // a stored path longer than Windows accepts
    UnreadableEntry,     // a directory or file that cannot be read
    FailsAuthentication, // contents a format with authenticated contents refuses
};

struct Finding
{
    FindingKind kind;
    std::string where;  // the token, the backup places, or the entry: plain directory + stored name
    std::string detail; // a reason, the shown name of a copy, a length
};

// How one file's contents are checked. The default reads it whole through the drive; a format
// whose contents carry authentication tags supplies one that tells a refused tag
// (FailsAuthentication) from other read errors.
enum class ContentVerdict
{
    Intact,
    Unreadable,
    FailsAuthentication,
};
using ContentVerifier =
    std::function<ContentVerdict(fs::DriveFs& drive, const std::string& plainPath, std::string& detail)>;

// Reads every byte of the file through the drive.
ContentVerdict readWholeFile(fs::DriveFs& drive, const std::string& plainPath, std::string& detail);

struct DriveCheckRequest
{
    std::filesystem::path folder;
    // Files and folders where a copy of the token may be (folders are searched, not recursed).
    std::vector<std::filesystem::path> backupPlaces;
    // The drive password (as handed to the token); nothing: only the token is checked.
    std::optional<std::string> drivePassword;
    bool contents = false;
    ContentVerifier verifier = readWholeFile;
};

struct DriveCheckReport
{
    std::vector<Finding> findings;
    bool tokenReadable = false; // the token reads and is one (a password can be tried)
    bool namesChecked = false;  // the password opened it and the tree was walked
    bool clean() const { return findings.empty(); }
};

DriveCheckReport checkDrive(const DriveCheckRequest& request);

// The usual places of token backups: the current folder, the home folder and its Documents.
std::vector<std::filesystem::path> defaultBackupPlaces();

// One line for a finding, from the string table.
std::string describeFinding(const Finding& finding);
// The line of a check without findings.
std::string describeCleanCheck(const std::filesystem::path& folder);

// A name or path is too long for Windows when its UTF-16 form exceeds these (the path
// limit is doubled for drives that use Windows's long-path prefix).
inline constexpr std::size_t kMaxPortableNameUnits = 255;
inline constexpr std::size_t kMaxPortablePathUnits = 260;
inline constexpr std::size_t kMaxPortableLongPathUnits = 520;

} // namespace kestrava::drives
