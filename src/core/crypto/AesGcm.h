// AES-256-GCM: authenticated encryption with a 12-byte nonce and a 16-byte tag.
#pragma once

#include "core/crypto/SecureBytes.h"

namespace kestrava::crypto {

class AesGcm
{
public:
    static constexpr std::size_t kKeySize = 32;
    static constexpr std::size_t kNonceSize = 12;
    static constexpr std::size_t kTagSize = 16;

    explicit AesGcm(ByteView key); // throws InvalidKeyLength unless 32 bytes
    ~AesGcm();
    AesGcm(const AesGcm&) = delete;
    AesGcm& operator=(const AesGcm&) = delete;

    // out receives length bytes of ciphertext followed by the tag (length + kTagSize bytes).
    void seal(const Byte* nonce, ByteView associated, const Byte* in, std::size_t length, Byte* out) const;
    // in holds sealedLength bytes (ciphertext and tag); out receives sealedLength - kTagSize
    // bytes. False, with out wiped, when the tag does not match or the input is too short.
    bool open(const Byte* nonce, ByteView associated, const Byte* in, std::size_t sealedLength,
              Byte* out) const;

    // One-shot forms: the sealed value is nonce || ciphertext || tag, with a fresh random nonce.
    SecureBytes sealWithRandomNonce(ByteView associated, ByteView plain) const;
    bool openWithNonce(ByteView associated, ByteView sealed, SecureBytes& plain) const;

private:
    SecureBytes m_key;
};

} // namespace kestrava::crypto
