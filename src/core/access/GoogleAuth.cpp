#include "core/access/GoogleAuth.h"

#include "core/access/Base32.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Random.h"
#include "core/token/ProtectedForm.h"
#include "core/util/Redact.h"

#include <algorithm>
#include <cstdio>

namespace kestrava {
namespace {

constexpr std::size_t kSecretSourceBytes = 16;
constexpr std::size_t kKeyBytes = 10;
constexpr int kMsgGoogleAuthenticator = 257;
constexpr int kMsgKeyLabel = 260;        // "Key:"
constexpr int kMsgCodeFieldLabel = 1347; // "<257>:  [ <260>  <account> ]"

// Cuts UTF-8 text to at most n characters without splitting one.
std::string firstCharacters(std::string_view text, std::size_t n)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (count == n) {
                return std::string(text.substr(0, i));
            }
            ++count;
        }
    }
    return std::string(text);
}

bool isLabelSafe(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == ':' || c == '@';
}

} // namespace

bool isGoogleAuthEnabledText(std::string_view enableGoogleAuth)
{
    return !enableGoogleAuth.empty() && enableGoogleAuth.front() == 'Y';
}

GoogleAuthState loadGoogleAuth(ProgramValues& values)
{
    GoogleAuthState state;
    if (!values.readable()) {
        return state;
    }
    state.enabled = isGoogleAuthEnabledText(values.get(kEnableGoogleAuthValue).value_or(""));
    if (values.has(kGoogleAuthKeyValue)) {
        const std::string stored = values.get(kGoogleAuthKeyValue).value_or("");
        crypto::SecureString secret = token::unprotectText(stored.substr(0, kMaxStoredSecretBytes));
        if (secret.size() > kMaxStoredSecretBytes) {
            secret.resize(kMaxStoredSecretBytes);
        }
        state.secret = std::move(secret);
        state.accountName = firstCharacters(values.attribute(kGoogleAuthKeyValue, kKeyNameAttribute),
                                            kMaxAccountNameCharacters);
    }
    return state;
}

bool saveGoogleAuth(ProgramValues& values, const GoogleAuthState& state, GoogleAuthPart part)
{
    if (part == GoogleAuthPart::Enabled) {
        return values.set(kEnableGoogleAuthValue, state.enabled ? "Y" : "N");
    }
    const std::string_view secret(state.secret.data(), std::min(state.secret.size(), kMaxStoredSecretBytes));
    ProgramValueChange change{std::string(kGoogleAuthKeyValue), token::protectText(secret), {}};
    change.attributes.emplace_back(kKeyNameAttribute,
                                   firstCharacters(state.accountName, kMaxAccountNameCharacters));
    const bool saved = values.apply({change});
    writeLog("saveGoogleAuth: %s (%s)", saved ? "saved" : "!not saved", util::redact(*change.text).c_str());
    return saved;
}

bool clearGoogleAuth(ProgramValues& values)
{
    return values.apply({{std::string(kGoogleAuthKeyValue), std::nullopt, {}},
                         {std::string(kEnableGoogleAuthValue), std::nullopt, {}}});
}

crypto::SecureString googleAuthSecretFromBytes(crypto::ByteView randomBytes)
{
    const crypto::SecureString text = crypto::makeSecureString(crypto::base64UrlEncode(randomBytes));
    const std::string_view keyText = std::string_view(text).substr(0, kKeyBytes);
    return crypto::makeSecureString(base32Encode(crypto::asBytes(keyText)));
}

crypto::SecureString generateGoogleAuthSecret()
{
    const crypto::SecureBytes bytes = crypto::randomBytes(kSecretSourceBytes);
    return googleAuthSecretFromBytes(bytes);
}

std::string otpauthAddress(std::string_view accountName, std::string_view secret)
{
    std::string address = "otpauth://totp/";
    for (const char c : accountName) {
        const auto byte = static_cast<unsigned char>(c);
        if (isLabelSafe(byte)) {
            address += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(byte));
            address += escaped;
        }
    }
    address += "?secret=";
    address += secret.substr(0, kUsedSecretCharacters);
    return address;
}

std::string proposedAccountName(const GoogleAuthState& state)
{
    return state.accountName.empty() ? std::string(kDefaultAccountName) : state.accountName;
}

std::string defaultAccountLabel(std::string_view secret)
{
    return std::string(kDefaultAccountName) + "-" + std::string(secret.substr(0, 4));
}

CodeCheck verifyGoogleAuthCode(std::string_view typed, std::string_view secret, const GoogleAuthState& loaded,
                               std::chrono::system_clock::time_point now)
{
    const std::string_view used = secret.empty() ? std::string_view(loaded.secret) : secret;
    return checkOneTimeCode(typed, used.substr(0, kMaxStoredSecretBytes), now);
}

std::string oneTimeCodeFieldLabel(std::string_view accountName)
{
    return formatAppString(
        loadAppString(kMsgCodeFieldLabel),
        {loadAppString(kMsgGoogleAuthenticator), loadAppString(kMsgKeyLabel), std::string(accountName)});
}

} // namespace kestrava
