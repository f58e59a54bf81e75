#include "core/access/PairingDialogModel.h"

namespace kestrava {
namespace {

crypto::SecureString firstSixteen(std::string_view secret)
{
    return crypto::makeSecureString(secret.substr(0, kUsedSecretCharacters));
}

} // namespace

PairingDialogModel::PairingDialogModel(const GoogleAuthState& stored, std::string_view secret)
    : m_stored(stored), m_secret(firstSixteen(secret)), m_keyField(crypto::makeSecureString(stored.secret)),
      m_account(proposedAccountName(stored))
{
    if (!stored.secret.empty()) {
        m_image = otpauthAddress(stored.accountName, stored.secret);
    }
}

bool PairingDialogModel::generate(std::string_view newSecret)
{
    m_accountError = false;
    const std::string oldDefault = defaultAccountLabel(m_secret);
    m_secret = firstSixteen(newSecret);
    if (m_account == oldDefault) {
        m_account = defaultAccountLabel(m_secret);
    }
    if (m_account.empty()) {
        m_accountError = true;
        return false;
    }
    m_keyField = m_secret;
    m_image = otpauthAddress(m_account, m_secret);
    m_okEnabled = false;
    m_syncNote = false;
    return true;
}

void PairingDialogModel::editAccount(std::string text)
{
    m_account = std::move(text);
    m_image.reset();
}

CodeCheck PairingDialogModel::verify(std::string_view code, std::chrono::system_clock::time_point now)
{
    const CodeCheck result = verifyGoogleAuthCode(code, m_secret, m_stored, now);
    m_okEnabled = result == CodeCheck::Accepted;
    m_syncNote = result != CodeCheck::Accepted;
    return result;
}

std::optional<crypto::SecureString> PairingDialogModel::accept(ProgramValues& values) const
{
    if (!m_okEnabled) {
        return std::nullopt;
    }
    GoogleAuthState state = loadGoogleAuth(values);
    state.secret = crypto::makeSecureString(m_secret);
    state.accountName = m_account;
    if (!saveGoogleAuth(values, state, GoogleAuthPart::SecretAndName)) {
        return std::nullopt;
    }
    return state.secret;
}

} // namespace kestrava
