// Whole-block encryption of file contents: every 4096-byte block (the last one may be
// shorter) is AES-256-CFB from the zero IV by itself, the same length as its plaintext.
#pragma once

#include "core/crypto/Cfb.h"
#include "core/fs/BlockMath.h"

#include <array>
#include <cstddef>

namespace kestrava::fs {

class ContentCipher
{
public:
    explicit ContentCipher(const crypto::CfbCipher& cipher);

    // in and out hold bytes that start at a block boundary of the file; they may be equal.
    void encryptBlocks(const crypto::Byte* in, crypto::Byte* out, std::size_t length) const
    {
        m_cipher.encryptChunks(in, out, length, kContentBlockSize);
    }
    void decryptBlocks(const crypto::Byte* in, crypto::Byte* out, std::size_t length) const
    {
        m_cipher.decryptChunks(in, out, length, kContentBlockSize);
    }

    // The stored form of a block of zeros. Any shorter zero block is its prefix, since a CFB
    // output byte depends only on the bytes before it.
    const crypto::Byte* encryptedZeroBlock() const { return m_zeroBlock.data(); }

private:
    const crypto::CfbCipher& m_cipher;
    std::array<crypto::Byte, kContentBlockSize> m_zeroBlock{};
};

} // namespace kestrava::fs
