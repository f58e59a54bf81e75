// Remembered drive passwords kept in the desktop's keyring (the Secret Service, through
// libsecret) instead of the settings file. While the settings value "KeyringPasswords" is "Y"
// and a vault is installed, every save of the settings file moves the records' "pwd" values into
// the vault, leaving the record's "pwd" empty and marking it keyring="1" (an attribute other
// readers of the format ignore); reading the records puts them back. A password the vault
// refuses stays in the file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::settings {

class SettingsDocument;
class SettingsFile;

inline constexpr std::string_view kKeyringPasswordsValue = "KeyringPasswords";
inline constexpr std::string_view kKeyringAttribute = "keyring";

class PasswordVault
{
public:
    virtual ~PasswordVault() = default;
    // Nothing when the vault can be used; otherwise why not.
    virtual std::optional<std::string> unavailableReason() = 0;
    // The protected form of a drive's password, keyed by the drive's folder.
    virtual bool store(std::string_view folder, std::string_view protectedPassword) = 0;
    virtual std::optional<std::string> lookup(std::string_view folder) = 0;
    virtual bool remove(std::string_view folder) = 0;
};

// The Secret Service of the session bus.
std::shared_ptr<PasswordVault> makeSecretServiceVault();

// The vault every settings file of this process uses; none (the default) keeps passwords in
// the file whatever the settings say.
void setPasswordVault(std::shared_ptr<PasswordVault> vault);
std::shared_ptr<PasswordVault> passwordVault();

// Called by every save: moves "pwd" values into the vault when the document asks for it.
void movePasswordsIntoVault(SettingsDocument& document);
// Reading: the vault's password for a record marked as kept there; nothing when unavailable.
std::optional<std::string> vaultPassword(std::string_view folder);

// Turns the option on (passwords move into the vault in the same save) or off (they come back
// into the file and leave the vault). False, with error set, when a password could not be moved
// back or the vault is unusable; the option then stays as it was.
bool keepPasswordsInVault(const SettingsFile& file, bool on, std::string& error);

} // namespace kestrava::settings
