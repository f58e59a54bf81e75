// AES in CFB mode with 128-bit feedback, always starting from an all-zero IV, no padding:
// the output is exactly as long as the input. Used for key wrapping, check data, file
// contents, names and protected values.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <memory>
#include <stdexcept>

namespace kestrava::crypto {

// Raised when AES refuses a key (any length other than 16, 24 or 32 bytes).
class InvalidKeyLength : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

bool isValidAesKeyLength(std::size_t length) noexcept;

// One-shot transforms; each call starts again from the zero IV.
SecureBytes cfbEncrypt(ByteView key, ByteView data);
SecureBytes cfbDecrypt(ByteView key, ByteView data);

// Keeps the key and its schedule for repeated use (file contents and names of a drive).
// Every call is independent and starts from the zero IV, so the output is byte for byte
// that of a fresh cipher per call. Safe to use from several threads at once. Input and
// output may be the same buffer.
class CfbCipher
{
public:
    explicit CfbCipher(ByteView key); // throws InvalidKeyLength
    ~CfbCipher();
    CfbCipher(const CfbCipher&) = delete;
    CfbCipher& operator=(const CfbCipher&) = delete;

    void encrypt(const Byte* in, Byte* out, std::size_t length) const;
    void decrypt(const Byte* in, Byte* out, std::size_t length) const;

    // The same transform applied to consecutive chunks of chunkSize bytes (the last one may
    // be shorter), each chunk starting from the zero IV by itself. Several chunks are
    // encrypted side by side, which is much faster than one after the other because a
    // single CFB encryption cannot use the processor's parallel AES units.
    void encryptChunks(const Byte* in, Byte* out, std::size_t length, std::size_t chunkSize) const;
    void decryptChunks(const Byte* in, Byte* out, std::size_t length, std::size_t chunkSize) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kestrava::crypto
