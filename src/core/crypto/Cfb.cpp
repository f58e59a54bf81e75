#include "core/crypto/Cfb.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

namespace kestrava::crypto {
namespace {

constexpr CryptoPP::byte kZeroIv[CryptoPP::AES::BLOCKSIZE] = {};

void requireValidKey(ByteView key)
{
    if (!isValidAesKeyLength(key.size())) {
        throw InvalidKeyLength("AES key of " + std::to_string(key.size()) + " bytes");
    }
}

template <class Mode>
void transform(ByteView key, const Byte* in, Byte* out, std::size_t length)
{
    // A fresh mode object per call: every call starts from the zero IV.
    Mode mode(key.data(), key.size(), kZeroIv);
    mode.ProcessData(out, in, length);
}

} // namespace

bool isValidAesKeyLength(std::size_t length) noexcept
{
    return length == 16 || length == 24 || length == 32;
}

SecureBytes cfbEncrypt(ByteView key, ByteView data)
{
    requireValidKey(key);
    SecureBytes out(data.size());
    transform<CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption>(key, data.data(), out.data(), data.size());
    return out;
}

SecureBytes cfbDecrypt(ByteView key, ByteView data)
{
    requireValidKey(key);
    SecureBytes out(data.size());
    transform<CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption>(key, data.data(), out.data(), data.size());
    return out;
}

struct CfbCipher::Impl
{
    SecureBytes key;
};

CfbCipher::CfbCipher(ByteView key) : m_impl(std::make_unique<Impl>())
{
    requireValidKey(key);
    m_impl->key = toSecureBytes(key);
}

CfbCipher::~CfbCipher() = default;

void CfbCipher::encrypt(const Byte* in, Byte* out, std::size_t length) const
{
    transform<CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption>(m_impl->key, in, out, length);
}

void CfbCipher::decrypt(const Byte* in, Byte* out, std::size_t length) const
{
    transform<CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption>(m_impl->key, in, out, length);
}

} // namespace kestrava::crypto
