// The drive-record operations of SettingsFile. Their matching rules differ on purpose:
// removals and passwdSaved use the exact spelling of folder (and letter); remembering a
// password and the auto-mount switch find the folder ignoring case.
#include "core/app/ActivityLog.h"
#include "core/settings/CaseFold.h"
#include "core/settings/PasswordVault.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "core/util/Redact.h"

namespace kestrava::settings {
namespace {

std::optional<std::size_t> findExact(const std::vector<DriveRecord>& records, std::string_view folder,
                                     std::string_view letter)
{
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].folder == folder && records[i].letter == letter) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> findFolderIgnoringCase(const std::vector<DriveRecord>& records,
                                                  std::string_view folder)
{
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (equalsIgnoringCase(records[i].folder, folder)) {
            return i;
        }
    }
    return std::nullopt;
}

bool storable(const DriveRecord& record)
{
    return isValidUtf8(record.label) && isValidUtf8(record.folder) && isValidUtf8(record.letter) &&
           isValidUtf8(record.pwd) && isValidUtf8(record.ph);
}

} // namespace

bool SettingsFile::Adv_SaveDriveInfo(const DriveRecord& record) const
{
    writeLog("Adv_SaveDriveInfo: letter(%s), label(%s), folder(%s), pwd(%s), autoMount(%d)",
             record.letter.c_str(), record.label.c_str(), record.folder.c_str(),
             util::redact(record.pwd).c_str(), record.automount);
    if (!storable(record)) {
        writeLog("!Adv_SaveDriveInfo: a value is not UTF-8 text");
        return false;
    }
    const bool saved = update(
        [&](SettingsDocument& document) {
            document.appendRecord(record);
            return Change::Save;
        },
        true);
    if (saved) {
        writeLog("Adv_SaveDriveInfo End");
    }
    return saved;
}

bool SettingsFile::RemoveDriveInfo(std::string_view folder, std::string_view letter) const
{
    return changeExactRecord(
        "RemoveDriveInfo", folder, letter,
        [](SettingsDocument& document, std::size_t index) { document.removeRecord(index); });
}

bool SettingsFile::RemoveDrivePwd(std::string_view folder, std::string_view letter) const
{
    return changeExactRecord("RemoveDrivePwd", folder, letter,
                             [](SettingsDocument& document, std::size_t index) {
                                 document.removeRecordAttribute(index, "pwd");
                                 document.removeRecordAttribute(index, kKeyringAttribute);
                             });
}

bool SettingsFile::moveDriveFolder(std::string_view folder, std::string_view letter,
                                   std::string_view newFolder) const
{
    return update(
        [&](SettingsDocument& document) {
            const auto index = findExact(document.records(), folder, letter);
            if (!index) {
                return Change::Discard;
            }
            const std::string from(folder);
            const std::string to(newFolder);
            writeLog("moveDriveFolder: %s -> %s", from.c_str(), to.c_str());
            document.setRecordAttribute(*index, "folder", newFolder);
            return Change::Save;
        },
        false);
}

// Applies change to the first record spelled exactly like folder and letter, logging
// "<operation>: folder - letter" before and "<operation> Removed: ..." after it.
bool SettingsFile::changeExactRecord(const char* operation, std::string_view folder, std::string_view letter,
                                     const std::function<void(SettingsDocument&, std::size_t)>& change) const
{
    return update(
        [&](SettingsDocument& document) {
            const auto index = findExact(document.records(), folder, letter);
            if (!index) {
                return Change::Discard;
            }
            const std::string f(folder);
            const std::string l(letter);
            writeLog("%s: %s - %s", operation, f.c_str(), l.c_str());
            change(document, *index);
            writeLog("%s Removed: %s - %s", operation, f.c_str(), l.c_str());
            return Change::Save;
        },
        false);
}

bool SettingsFile::rememberPasswd(const token::DriveContext& context) const
{
    const std::string protectedForm = context.ProtectPassword(context.password());
    writeLog("rememberPasswd: %s", util::redact(protectedForm).c_str());
    const std::string folder = context.backingFolder().string();
    // Saved (with a fresh digest) even when no record matches.
    return update(
        [&](SettingsDocument& document) {
            if (const auto index = findFolderIgnoringCase(document.records(), folder)) {
                document.setRecordAttribute(*index, "pwd", protectedForm);
            }
            return Change::Save;
        },
        false);
}

bool SettingsFile::setDriveAutoMount(std::string_view folder, int value) const
{
    return update(
        [&](SettingsDocument& document) {
            if (const auto index = findFolderIgnoringCase(document.records(), folder)) {
                document.setRecordAttribute(*index, "automount", std::to_string(value));
            }
            return Change::Save;
        },
        false);
}

bool SettingsFile::passwdSaved(std::string_view folder) const
{
    const auto records = driveRecords();
    bool saved = false;
    if (records) {
        for (const DriveRecord& record : *records) {
            if (record.folder == folder) {
                saved = !record.pwd.empty();
            }
        }
    }
    writeLog("passwdSaved: %d - %s", saved ? 1 : 0, std::string(folder).c_str());
    return saved;
}

} // namespace kestrava::settings
