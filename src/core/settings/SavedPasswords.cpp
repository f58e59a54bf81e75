#include "core/settings/SavedPasswords.h"

#include "core/app/ActivityLog.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"
#include "core/crypto/Hash.h"
#include "core/util/Redact.h"

#include <algorithm>

namespace kestrava {

std::string hashStr(std::string_view typedPassword)
{
    const crypto::Sha256Digest digest = crypto::sha256(crypto::asBytes(typedPassword));
    std::string hex = crypto::toUpperHex(digest);
    writeLog("hashStr End: %s", util::redact(hex).c_str());
    return hex;
}

std::string formatDrvPaswd(const LoginLayerState& state)
{
    const std::string a = state.loginPasswordActive ? state.storedLoginPassword.substr(0, 16) : std::string();
    const std::string b = state.googleAuthActive ? state.googleAuthSecret.substr(0, 16) : std::string();
    std::string key = a.substr(0, 8) + b.substr(0, 8);
    if (key.size() < 15) {
        if (b.empty()) {
            key = a.substr(0, 16);
        } else if (a.empty()) {
            key = b.substr(0, 16);
        }
    }
    writeLog("formatDrvPaswd: %s", util::redact(key).c_str());
    return key;
}

std::string loginEncryptStr(std::string_view key, std::string_view text)
{
    writeLog("loginEncryptStr Begin: enckeyStr(%s) | decryptedStr(%s)", util::redact(key).c_str(),
             util::redact(text).c_str());
    // A key shorter than 16 bytes is padded with zero bytes rather than read past its end.
    crypto::SecureBytes aesKey(16, 0);
    std::copy_n(key.begin(), std::min<std::size_t>(key.size(), 16), aesKey.begin());

    constexpr std::size_t kEncryptedPrefix = 64;
    crypto::SecureBytes buffer(std::max(text.size(), kEncryptedPrefix), 0);
    std::copy(text.begin(), text.end(), buffer.begin());
    const crypto::SecureBytes head =
        crypto::cfbEncrypt(aesKey, crypto::ByteView(buffer.data(), kEncryptedPrefix));
    std::copy(head.begin(), head.end(), buffer.begin());
    const std::string encoded = crypto::base64UrlEncode(crypto::ByteView(buffer.data(), text.size()));
    writeLog("loginEncryptStr End: encodedStr(%s)", util::redact(encoded).c_str());
    return encoded;
}

} // namespace kestrava
