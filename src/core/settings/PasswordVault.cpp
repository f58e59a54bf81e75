#include "core/settings/PasswordVault.h"

#include "core/app/ActivityLog.h"
#include "core/settings/SettingsDocument.h"
#include "core/settings/SettingsFile.h"

#include <mutex>
#include <vector>

namespace kestrava::settings {
namespace {

std::mutex g_vaultMutex;
std::shared_ptr<PasswordVault> g_vault;

} // namespace

void setPasswordVault(std::shared_ptr<PasswordVault> vault)
{
    std::lock_guard lock(g_vaultMutex);
    g_vault = std::move(vault);
}

std::shared_ptr<PasswordVault> passwordVault()
{
    std::lock_guard lock(g_vaultMutex);
    return g_vault;
}

void movePasswordsIntoVault(SettingsDocument& document)
{
    const auto vault = passwordVault();
    if (!vault || document.value(kKeyringPasswordsValue) != "Y") {
        return;
    }
    const auto records = document.records();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].pwd.empty()) {
            continue;
        }
        if (!vault->store(records[i].folder, records[i].pwd)) {
            writeLog("!Keyring: the password of %s stays in the settings file", records[i].folder.c_str());
            continue;
        }
        document.removeRecordAttribute(i, "pwd");
        document.setRecordAttribute(i, kKeyringAttribute, "1");
    }
}

std::optional<std::string> vaultPassword(std::string_view folder)
{
    const auto vault = passwordVault();
    return vault ? vault->lookup(folder) : std::nullopt;
}

bool keepPasswordsInVault(const SettingsFile& file, bool on, std::string& error)
{
    const auto vault = passwordVault();
    if (!vault) {
        error = "no keyring";
        return false;
    }
    if (const auto reason = vault->unavailableReason()) {
        error = *reason;
        return false;
    }
    std::vector<std::string> leftVault;
    const bool saved = file.update(
        [&](SettingsDocument& document) {
            if (on) {
                document.setValue(kKeyringPasswordsValue, "Y"); // the save moves them
                return Change::Save;
            }
            const auto records = document.records();
            for (std::size_t i = 0; i < records.size(); ++i) {
                if (document.recordAttribute(i, kKeyringAttribute).value_or("") != "1") {
                    continue;
                }
                const auto password = vault->lookup(records[i].folder);
                if (!password) {
                    error = "the keyring has no password for " + records[i].folder;
                    return Change::Discard;
                }
                if (records[i].pwd.empty()) {
                    document.setRecordAttribute(i, "pwd", *password);
                }
                document.removeRecordAttribute(i, kKeyringAttribute);
                leftVault.push_back(records[i].folder);
            }
            document.removeValue(kKeyringPasswordsValue);
            return Change::Save;
        },
        false);
    if (!saved) {
        if (error.empty()) {
            error = "the settings file could not be written: " + file.path().string();
        }
        return false;
    }
    // Only once the file holds them again.
    for (const auto& folder : leftVault) {
        vault->remove(folder);
    }
    return true;
}

} // namespace kestrava::settings
