#include "core/crypto/AesGcm.h"

#include "core/crypto/Cfb.h"
#include "core/crypto/Random.h"

#include <cryptopp/aes.h>
#include <cryptopp/gcm.h>

namespace kestrava::crypto {

AesGcm::AesGcm(ByteView key)
{
    if (key.size() != kKeySize) {
        throw InvalidKeyLength("AES-256-GCM key of " + std::to_string(key.size()) + " bytes");
    }
    m_key = toSecureBytes(key);
}

AesGcm::~AesGcm() = default;

void AesGcm::seal(const Byte* nonce, ByteView associated, const Byte* in, std::size_t length, Byte* out) const
{
    CryptoPP::GCM<CryptoPP::AES>::Encryption gcm;
    gcm.SetKeyWithIV(m_key.data(), m_key.size(), nonce, kNonceSize);
    gcm.EncryptAndAuthenticate(out, out + length, kTagSize, nonce, kNonceSize, associated.data(),
                               associated.size(), in, length);
}

bool AesGcm::open(const Byte* nonce, ByteView associated, const Byte* in, std::size_t sealedLength,
                  Byte* out) const
{
    if (sealedLength < kTagSize) {
        return false;
    }
    const std::size_t length = sealedLength - kTagSize;
    CryptoPP::GCM<CryptoPP::AES>::Decryption gcm;
    gcm.SetKeyWithIV(m_key.data(), m_key.size(), nonce, kNonceSize);
    const bool ok = gcm.DecryptAndVerify(out, in + length, kTagSize, nonce, kNonceSize, associated.data(),
                                         associated.size(), in, length);
    if (!ok) {
        secureWipe(out, length);
    }
    return ok;
}

SecureBytes AesGcm::sealWithRandomNonce(ByteView associated, ByteView plain) const
{
    SecureBytes sealed = randomBytes(kNonceSize);
    sealed.resize(kNonceSize + plain.size() + kTagSize);
    seal(sealed.data(), associated, plain.data(), plain.size(), sealed.data() + kNonceSize);
    return sealed;
}

bool AesGcm::openWithNonce(ByteView associated, ByteView sealed, SecureBytes& plain) const
{
    if (sealed.size() < kNonceSize + kTagSize) {
        return false;
    }
    plain.resize(sealed.size() - kNonceSize - kTagSize);
    return open(sealed.data(), associated, sealed.data() + kNonceSize, sealed.size() - kNonceSize,
                plain.data());
}

} // namespace kestrava::crypto
