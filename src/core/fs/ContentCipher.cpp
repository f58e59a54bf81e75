#include "core/fs/ContentCipher.h"

namespace kestrava::fs {

ContentCipher::ContentCipher(const crypto::CfbCipher& cipher) : m_cipher(cipher)
{
    m_cipher.encrypt(m_zeroBlock.data(), m_zeroBlock.data(), m_zeroBlock.size());
}

} // namespace kestrava::fs
