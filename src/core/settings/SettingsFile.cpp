#include "core/settings/SettingsFile.h"

#include "core/app/ActivityLog.h"
#include "core/settings/FileLock.h"
#include "core/settings/PasswordVault.h"
#include "core/util/AtomicFile.h"

#include <system_error>

namespace kestrava::settings {
namespace {

const char* describe(LoadStatus status)
{
    switch (status) {
    case LoadStatus::Loaded:
        return "loaded";
    case LoadStatus::Missing:
        return "no such file";
    case LoadStatus::Unreadable:
        return "cannot be read";
    case LoadStatus::NotXml:
        return "not a readable XML document";
    case LoadStatus::ForeignRoot:
        return "not a Kestrava settings document";
    }
    return "";
}

// Where a save really goes: a settings path that is a symbolic link (a dotfiles setup) keeps
// its link, and the file it points to is replaced.
std::filesystem::path writeTarget(const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
        if (!ec) {
            return target;
        }
    }
    return path;
}

// Whether the bytes of a save read back as exactly what was meant to be saved. Text that is
// not UTF-8 (a cut inside a character, say) would otherwise leave a file that every later load
// rejects, which hides all drives.
bool readsBack(const SettingsDocument& document, const std::string& bytes)
{
    SettingsDocument reread;
    return reread.parse(bytes) == ParseStatus::Parsed && reread.sameContent(document);
}

bool readable(const LoadedSettings& loaded)
{
    return loaded.status == LoadStatus::Loaded || loaded.status == LoadStatus::ForeignRoot;
}

std::string valueOf(const LoadedSettings& loaded, std::string_view name)
{
    if (!readable(loaded)) {
        return std::string(kLoadError);
    }
    if (name == kDrivesElement && !loaded.document.hasDrives()) {
        return std::string(kInvalidSettingsFile);
    }
    return loaded.document.value(name);
}

} // namespace

LoadedSettings loadSettings(const std::filesystem::path& path)
{
    LoadedSettings loaded;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        loaded.status = LoadStatus::Missing;
        loaded.error = describe(LoadStatus::Missing);
        return loaded;
    }
    std::string bytes;
    if (!util::readSmallFile(path, kMaxSettingsBytes, bytes, loaded.error)) {
        loaded.status = LoadStatus::Unreadable;
        return loaded;
    }
    switch (loaded.document.parse(bytes)) {
    case ParseStatus::Parsed:
        loaded.status = LoadStatus::Loaded;
        break;
    case ParseStatus::NotXml:
        loaded.status = LoadStatus::NotXml;
        loaded.error = describe(LoadStatus::NotXml);
        break;
    case ParseStatus::ForeignRoot:
        loaded.status = LoadStatus::ForeignRoot;
        loaded.error = describe(LoadStatus::ForeignRoot);
        break;
    }
    return loaded;
}

SettingsFile::SettingsFile(std::filesystem::path path) : m_path(std::move(path)) {}

bool SettingsFile::exists() const
{
    std::error_code ec;
    return std::filesystem::exists(m_path, ec);
}

LoadedSettings SettingsFile::load() const
{
    return loadSettings(m_path);
}

bool SettingsFile::update(const std::function<Change(SettingsDocument&)>& change, bool createIfMissing) const
{
    const std::filesystem::path target = writeTarget(m_path);
    std::error_code ec;
    if (!createIfMissing && !std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
        // Nothing to change, and no lock file to leave in a folder that may not even exist.
        writeLog("!SettingsFile: %s: %s", target.c_str(), describe(LoadStatus::Missing));
        return false;
    }
    if (createIfMissing && target.has_parent_path()) {
        // The default location's folder may not exist yet on a fresh account.
        std::filesystem::create_directories(target.parent_path(), ec);
    }
    FileLock lock(lockPathFor(target));
    if (!lock.locked()) {
        writeLog("!SettingsFile: %s", lock.error().c_str());
        return false;
    }
    removeAbandonedTemporaries(target);
    LoadedSettings loaded = loadSettings(target);
    if (loaded.status == LoadStatus::Missing && createIfMissing) {
        loaded.document = SettingsDocument::makeEmpty();
    } else if (loaded.status != LoadStatus::Loaded) {
        writeLog("!SettingsFile: %s: %s", target.c_str(), loaded.error.c_str());
        return false;
    }
    if (change(loaded.document) == Change::Discard) {
        return false;
    }
    movePasswordsIntoVault(loaded.document);
    const std::string bytes = loaded.document.serializeWithDigest();
    if (!readsBack(loaded.document, bytes)) {
        writeLog("!SettingsFile: %s: refused a change that would not read back", target.c_str());
        return false;
    }
    if (bytes.size() > kMaxSettingsBytes) {
        // Saving it would leave a file that no later load accepts.
        writeLog("!SettingsFile: %s: the document would grow beyond %zu bytes", target.c_str(),
                 kMaxSettingsBytes);
        return false;
    }
    const util::WriteResult written = util::writeFileAtomically(target, bytes, 0600);
    if (!written.ok) {
        writeLog("!SettingsFile: %s", written.message.c_str());
    }
    return written.ok;
}

std::optional<std::string> SettingsFile::computeSettingsDigest() const
{
    const LoadedSettings loaded = load();
    if (!readable(loaded)) {
        return std::nullopt;
    }
    return loaded.document.computeDigest();
}

bool SettingsFile::verifySettingsDigest() const
{
    const LoadedSettings loaded = load();
    return loaded.status == LoadStatus::Loaded && loaded.document.digestMatches();
}

bool SettingsFile::writeSettingsDigest() const
{
    return update([](SettingsDocument&) { return Change::Save; }, false);
}

std::string SettingsFile::getKestravaXmlValue(std::string_view name) const
{
    return valueOf(load(), name);
}

std::string SettingsFile::getKestravaXmlAttribute(std::string_view name, std::string_view attribute) const
{
    const LoadedSettings loaded = load();
    if (!readable(loaded)) {
        return std::string(kLoadError);
    }
    return loaded.document.valueAttribute(name, attribute);
}

bool SettingsFile::setKestravaXmlValue(std::string_view name, std::string_view value,
                                       const Attributes& attributes) const
{
    // A name that is not an XML name, or text that is not UTF-8, would leave a file that no
    // later load accepts.
    bool acceptable = isValidXmlName(name) && isValidUtf8(value);
    for (const auto& [attribute, text] : attributes) {
        acceptable = acceptable && isValidXmlName(attribute) && isValidUtf8(text);
    }
    if (!acceptable) {
        writeLog("!setKestravaXmlValue: refused a name or value that cannot be stored");
        return false;
    }
    return update(
        [&](SettingsDocument& document) {
            document.setValue(name, value);
            for (const auto& [attribute, text] : attributes) {
                document.setValueAttribute(name, attribute, text);
            }
            return Change::Save;
        },
        true);
}

bool SettingsFile::removeKestravaXmlValue(std::string_view name) const
{
    if (!isValidXmlName(name)) {
        return false;
    }
    return update(
        [&](SettingsDocument& document) {
            document.removeValue(name);
            return Change::Save;
        },
        true);
}

std::optional<std::vector<DriveRecord>> SettingsFile::driveRecords() const
{
    const LoadedSettings loaded = load();
    if (!readable(loaded)) {
        return std::nullopt;
    }
    auto records = loaded.document.records();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].pwd.empty() &&
            loaded.document.recordAttribute(i, kKeyringAttribute).value_or("") == "1") {
            records[i].pwd = vaultPassword(records[i].folder).value_or("");
        }
    }
    return records;
}

std::string getKestravaXmlValue(std::string_view name, const std::filesystem::path& explicitPath)
{
    const LoadedSettings loaded = loadSettings(explicitPath);
    if (loaded.status == LoadStatus::ForeignRoot) {
        return std::string(kInvalidSettingsFile);
    }
    return valueOf(loaded, name);
}

} // namespace kestrava::settings
