// What the authenticator pairing dialog shows and does, without the window: the desktop app
// binds its fields to this and the terminal's "totp pair" follows the same rules.
#pragma once

#include "core/access/GoogleAuth.h"
#include "core/access/ProgramValues.h"
#include "core/crypto/SecureBytes.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

class PairingDialogModel
{
public:
    // stored: the pairing state as loaded when the dialog opens; secret: the secret the
    // dialog starts with (its first 16 characters count). The key field and the image show
    // the stored pairing at first.
    PairingDialogModel(const GoogleAuthState& stored, std::string_view secret);

    const std::string& accountField() const { return m_account; }
    std::string_view keyField() const { return m_keyField; }
    std::string_view secret() const { return m_secret; }
    // The address the QR image shows; nothing while no image is shown.
    const std::optional<std::string>& imageAddress() const { return m_image; }
    bool okEnabled() const { return m_okEnabled; }
    bool accountErrorShown() const { return m_accountError; }
    bool syncNoteShown() const { return m_syncNote; }

    // "Generate new ... secret key" with a freshly generated secret. A default label that
    // follows the old secret ("Kestrava-" + its first four characters) follows the new one;
    // with an empty account field the new secret is kept but not shown, and the error mark
    // appears. False in that case.
    bool generate(std::string_view newSecret);

    // Typing in the account field: the image is cleared until a new secret is generated.
    void editAccount(std::string text);

    // "Verify": the typed code against the dialog's secret. Accepted enables OK; Refused
    // shows the note about synchronised clocks; DamagedSecret is for the caller to report.
    CodeCheck verify(std::string_view code, std::chrono::system_clock::time_point now);

    // OK (only after a successful verification): stores the dialog's secret and account name
    // (the switch is not written). The secret the program now uses, or nothing when OK is
    // not enabled or the settings file could not be written.
    std::optional<crypto::SecureString> accept(ProgramValues& values) const;

private:
    GoogleAuthState m_stored;
    crypto::SecureString m_secret = crypto::makeSecureString({});
    crypto::SecureString m_keyField = crypto::makeSecureString({});
    std::string m_account;
    std::optional<std::string> m_image;
    bool m_okEnabled = false;
    bool m_accountError = false;
    bool m_syncNote = false;
};

} // namespace kestrava
