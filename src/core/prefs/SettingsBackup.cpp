#include "core/prefs/SettingsBackup.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/settings/FileLock.h"
#include "core/settings/SettingsDocument.h"
#include "core/settings/SettingsFile.h"
#include "core/util/AsciiText.h"
#include "core/util/AtomicFile.h"

#include <array>
#include <cstdio>

namespace kestrava::prefs {
namespace {

constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};

} // namespace

std::string backupFileName(const std::tm& localDate)
{
    char date[16];
    std::snprintf(date, sizeof date, "%02d%s%02d", (localDate.tm_year + 1900) % 100,
                  kMonths.at(static_cast<std::size_t>(localDate.tm_mon) % 12), localDate.tm_mday);
    return util::asciiLower(loadAppString(kTextBackupPrefix) + date + ".xml");
}

bool isSettingsFileContent(std::string_view bytes)
{
    settings::SettingsDocument document;
    return document.parse(bytes) == settings::ParseStatus::Parsed && document.hasDrives();
}

bool backupSettings(const std::filesystem::path& settingsFile, const std::filesystem::path& target,
                    Prompter& prompter)
{
    std::string contents;
    std::string error;
    bool copied = util::readSmallFile(settingsFile, settings::kMaxSettingsBytes, contents, error);
    if (copied) {
        const auto written = util::writeFileAtomically(target, contents);
        copied = written.ok;
        error = written.message;
    }
    if (!copied) {
        writeLog("!Settings backup to %s failed: %s", target.string().c_str(), error.c_str());
        prompter.messageBox(kMsgBackupFailed, {}, Buttons::OK, Icon::Information);
        return false;
    }
    writeLog("Settings backed up to %s", target.string().c_str());
    prompter.messageBox(kMsgBackupDone, {target.string()}, Buttons::OK, Icon::Information);
    return true;
}

RestoreOutcome restoreSettings(const std::filesystem::path& settingsFile, const std::filesystem::path& chosen,
                               Prompter& prompter, const RestoreSteps& steps)
{
    std::string contents;
    std::string error;
    if (!util::readSmallFile(chosen, settings::kMaxSettingsBytes, contents, error) ||
        !isSettingsFileContent(contents)) {
        prompter.messageBox(kMsgNotSettingsFile, {chosen.string()}, Buttons::OK, Icon::Error);
        return RestoreOutcome::NotSettingsFile;
    }
    if (prompter.messageBox(kMsgRestoreQuestion, {chosen.string()}, Buttons::YesNo, Icon::Question) !=
        Button::Yes) {
        return RestoreOutcome::Declined;
    }
    util::WriteResult written;
    {
        // Copied verbatim (its digest included), so a tampered backup is caught like any
        // other tampered settings file.
        settings::FileLock lock(settings::lockPathFor(settingsFile));
        written = util::writeFileAtomically(settingsFile, contents);
    }
    if (!written.ok) {
        writeLog("!Settings restore from %s failed: %s", chosen.string().c_str(), written.message.c_str());
        prompter.messageBox(kMsgRestoreFailed, {settingsFile.string(), written.message}, Buttons::OK,
                            Icon::Error);
        return RestoreOutcome::CopyFailed;
    }
    writeLog("Settings restored from %s", chosen.string().c_str());
    if (steps.unmountAll) {
        steps.unmountAll();
    }
    if (steps.reloadDrives) {
        steps.reloadDrives();
    }
    prompter.messageBox(kMsgRestoreDone, {settingsFile.string()}, Buttons::OK, Icon::Information);
    if (steps.reapplyLanguage) {
        steps.reapplyLanguage();
    }
    return RestoreOutcome::Restored;
}

} // namespace kestrava::prefs
