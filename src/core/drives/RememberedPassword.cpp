#include "core/drives/RememberedPassword.h"

#include "core/app/ActivityLog.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"
#include "core/token/DriveContext.h"

#include <algorithm>

namespace kestrava::drives {
namespace {

// The login layer encrypts at most the first 64 bytes of the value.
constexpr std::size_t kLayeredPrefix = 64;

} // namespace

std::string loginDecryptStr(std::string_view key, std::string_view layered)
{
    crypto::SecureBytes aesKey(16, 0);
    std::copy_n(key.begin(), std::min<std::size_t>(key.size(), 16), aesKey.begin());
    crypto::SecureBytes bytes = crypto::base64UrlDecode(layered);
    // CFB decrypts a prefix from that prefix alone, so a value shorter than 64 bytes (whose
    // remaining ciphertext was never stored) still comes back whole.
    const std::size_t head = std::min(bytes.size(), kLayeredPrefix);
    const crypto::SecureBytes plain = crypto::cfbDecrypt(aesKey, crypto::ByteView(bytes.data(), head));
    std::copy(plain.begin(), plain.end(), bytes.begin());
    return std::string(crypto::asText(bytes));
}

std::string rememberedPasswordValue(const token::DriveContext& context, const LoginLayerState& loginLayer)
{
    const std::string protectedForm = context.ProtectPassword(context.password());
    const std::string key = formatDrvPaswd(loginLayer);
    return key.empty() ? protectedForm : loginEncryptStr(key, protectedForm);
}

bool passwordOpensToken(const token::DriveContext& context)
{
    return context.isLegacy() ? context.VerifyCheckData() : context.VerifyDigest();
}

bool readRememberedPassword(token::DriveContext& context, std::string_view storedPwd,
                            const LoginLayerState& loginLayer, const std::filesystem::path& tokenPath)
{
    if (passwordOpensToken(context)) {
        return false;
    }
    const std::string key = formatDrvPaswd(loginLayer);
    if (key.empty()) {
        return false;
    }
    const crypto::SecureString plainReading = crypto::makeSecureString(context.password());
    context.SetPassword(loginDecryptStr(key, storedPwd));
    context.UnprotectPassword();
    if (context.LoadToken(tokenPath, false) && passwordOpensToken(context)) {
        writeLog("ReadRememberedPassword: login layer removed - %s", tokenPath.c_str());
        return true;
    }
    context.SetPassword(plainReading);
    context.LoadToken(tokenPath, false);
    return false;
}

} // namespace kestrava::drives
