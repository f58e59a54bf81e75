#include "core/crypto/Kdf.h"

#include <cryptopp/hkdf.h>
#include <cryptopp/scrypt.h>
#include <cryptopp/sha.h>
#include <stdexcept>

namespace kestrava::crypto {
namespace {
// A token from elsewhere may not make us allocate more than this.
constexpr std::uint64_t kMaxScryptMemory = 1ull << 30;
} // namespace

bool isAcceptableScrypt(const ScryptParams& params)
{
    const std::uint64_t n = params.cost;
    if (n < 2 || (n & (n - 1)) != 0 || params.blockSize == 0 || params.parallel == 0 ||
        params.parallel > 16 || params.blockSize > 64) {
        return false;
    }
    return n <= kMaxScryptMemory / (128ull * params.blockSize);
}

SecureBytes scrypt(ByteView password, ByteView salt, const ScryptParams& params, std::size_t length)
{
    if (!isAcceptableScrypt(params)) {
        throw std::invalid_argument("scrypt parameters out of range");
    }
    SecureBytes out(length);
    CryptoPP::Scrypt kdf;
    kdf.DeriveKey(out.data(), out.size(), password.data(), password.size(), salt.data(), salt.size(),
                  params.cost, params.blockSize, params.parallel);
    return out;
}

SecureBytes hkdfSha256(ByteView secret, ByteView salt, ByteView info, std::size_t length)
{
    SecureBytes out(length);
    CryptoPP::HKDF<CryptoPP::SHA256> kdf;
    kdf.DeriveKey(out.data(), out.size(), secret.data(), secret.size(), salt.data(), salt.size(), info.data(),
                  info.size());
    return out;
}

} // namespace kestrava::crypto
