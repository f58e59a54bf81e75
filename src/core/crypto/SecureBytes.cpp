#include "core/crypto/SecureBytes.h"

#include <cryptopp/misc.h>

namespace kestrava::crypto {

void secureWipe(void* p, std::size_t n) noexcept
{
    if (p != nullptr && n != 0) {
        CryptoPP::SecureWipeBuffer(static_cast<CryptoPP::byte*>(p), n);
    }
}

SecureString makeSecureString(std::string_view text)
{
    SecureString s;
    s.reserve(std::max<std::size_t>(text.size(), 32));
    s.assign(text.data(), text.size());
    return s;
}

} // namespace kestrava::crypto
