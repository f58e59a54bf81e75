// AES-SIV (RFC 5297): deterministic authenticated encryption. The same plaintext under the
// same key and associated data always gives the same output, which is what lets an encrypted
// name be looked up; any change to the output is detected. Built on AES-CMAC and AES-CTR.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <optional>
#include <vector>

namespace kestrava::crypto {

class AesSiv
{
public:
    static constexpr std::size_t kTagSize = 16;

    // 32 bytes (AES-128 for CMAC and CTR) or 64 bytes (AES-256); the first half keys CMAC,
    // the second CTR. Throws InvalidKeyLength otherwise.
    explicit AesSiv(ByteView key);
    ~AesSiv();
    AesSiv(const AesSiv&) = delete;
    AesSiv& operator=(const AesSiv&) = delete;

    // The synthetic IV (16 bytes) followed by the ciphertext, as long as the plaintext.
    SecureBytes encrypt(const std::vector<ByteView>& associated, ByteView plain) const;
    // The plaintext, or nothing when the input is shorter than the IV or fails the check.
    std::optional<SecureBytes> decrypt(const std::vector<ByteView>& associated, ByteView sealed) const;

private:
    void s2v(const std::vector<ByteView>& associated, ByteView plain, Byte* out) const;
    void ctr(const Byte* iv, const Byte* in, Byte* out, std::size_t length) const;

    SecureBytes m_macKey;
    SecureBytes m_ctrKey;
};

} // namespace kestrava::crypto
