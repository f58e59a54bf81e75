// The settings file: the user's drive records and the program values, with an integrity
// digest over the values that matter for security. Nothing is cached: every operation loads
// the file, and every change is one locked load-modify-save cycle that also renews the digest,
// so the desktop app and any number of kestrava-cli processes can change it at once.
// A file that exists but does not parse is never overwritten.
#pragma once

#include "core/settings/SettingsDocument.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava::token {
class DriveContext;
}

namespace kestrava::settings {

// Answers of getKestravaXmlValue that are not values.
inline constexpr std::string_view kLoadError = "ERROR!";
inline constexpr std::string_view kInvalidSettingsFile = "!INVALID_CFG_FILE!";

// Settings files are small; anything larger is refused rather than read into memory.
inline constexpr std::size_t kMaxSettingsBytes = 8 * 1024 * 1024;

enum class LoadStatus
{
    Loaded,      // parsed; the root may still be missing for a foreign document (see below)
    Missing,     // no file at the path
    Unreadable,  // a folder, no permission, too large, an I/O error
    NotXml,      // not well-formed XML, or not UTF-8
    ForeignRoot, // well-formed, but not one "Kestrava" root: readable as empty, never rewritten
};

struct LoadedSettings
{
    LoadStatus status = LoadStatus::Missing;
    SettingsDocument document; // empty unless Loaded or ForeignRoot
    std::string error;         // why it could not be loaded, for logs and messages
};

// What an update callback decides.
enum class Change
{
    Save,    // write the document (and its digest)
    Discard, // leave the file untouched; the update reports false
};

using Attributes = std::vector<std::pair<std::string, std::string>>;

class SettingsFile
{
public:
    explicit SettingsFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return m_path; }
    // The file was moved; from now on the new place is read and written.
    void relocate(std::filesystem::path path) { m_path = std::move(path); }
    bool exists() const;

    LoadedSettings load() const;

    // The one place where the file changes. Under an exclusive lock on "<file>.lock": load;
    // when the file is missing and createIfMissing is set start from an empty document
    // (root "Kestrava" with "drives"), else fail; a file that does not parse, or is not a
    // settings document, fails without being touched; call change; on Save store the fresh
    // digest and replace the file atomically (mode 0600). The lock covers the whole cycle.
    bool update(const std::function<Change(SettingsDocument&)>& change, bool createIfMissing) const;

    std::optional<std::string> computeSettingsDigest() const;
    bool verifySettingsDigest() const;
    bool writeSettingsDigest() const;

    // The text of the root's child element name; "ERROR!" when the file cannot be loaded,
    // "!INVALID_CFG_FILE!" for "drives" when the root has no "drives".
    std::string getKestravaXmlValue(std::string_view name) const;
    // An attribute of that element (e.g. "KeyName" of "GoogleAuthKey"); "ERROR!" on load failure.
    std::string getKestravaXmlAttribute(std::string_view name, std::string_view attribute) const;
    // Sets the text (and the given attributes) of the root's child element name in one cycle;
    // a missing file is created. False for a file that exists but does not parse.
    bool setKestravaXmlValue(std::string_view name, std::string_view value,
                             const Attributes& attributes = {}) const;
    bool removeKestravaXmlValue(std::string_view name) const;

    // Drive records in document order; nothing when the file cannot be loaded.
    std::optional<std::vector<DriveRecord>> driveRecords() const;
    // Appends a record (attributes label, folder, letter, pwd, automount, ph).
    bool Adv_SaveDriveInfo(const DriveRecord& record) const;
    // Match "folder" and "letter" exactly (case-sensitive), first match only.
    bool RemoveDriveInfo(std::string_view folder, std::string_view letter) const;
    bool RemoveDrivePwd(std::string_view folder, std::string_view letter) const;
    // Points the record (matched exactly) at another backing folder, in one save.
    bool moveDriveFolder(std::string_view folder, std::string_view letter, std::string_view newFolder) const;
    // Match "folder" ignoring case, first match only.
    bool rememberPasswd(const token::DriveContext& context) const;
    bool setDriveAutoMount(std::string_view folder, int value) const;
    // Match "folder" exactly; the last matching record decides.
    bool passwdSaved(std::string_view folder) const;

private:
    bool changeExactRecord(const char* operation, std::string_view folder, std::string_view letter,
                           const std::function<void(SettingsDocument&, std::size_t)>& change) const;

    std::filesystem::path m_path;
};

LoadedSettings loadSettings(const std::filesystem::path& path);

// The explicit-path form, used to test whether a chosen file is a settings file: also
// "!INVALID_CFG_FILE!" when the document's root is not "Kestrava".
std::string getKestravaXmlValue(std::string_view name, const std::filesystem::path& explicitPath);

} // namespace kestrava::settings
