#include "core/crypto/Cfb.h"

#include <algorithm>
#include <array>
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <cstring>
#include <mutex>
#include <vector>

namespace kestrava::crypto {
namespace {

constexpr std::size_t kAesBlock = CryptoPP::AES::BLOCKSIZE;
constexpr CryptoPP::byte kZeroIv[kAesBlock] = {};
// Chunks encrypted side by side; enough to keep the AES units of current processors busy.
constexpr std::size_t kLanes = 8;

void requireValidKey(ByteView key)
{
    if (!isValidAesKeyLength(key.size())) {
        throw InvalidKeyLength("AES key of " + std::to_string(key.size()) + " bytes");
    }
}

template <class Mode> void transform(ByteView key, const Byte* in, Byte* out, std::size_t length)
{
    // A fresh mode object per call: every call starts from the zero IV.
    Mode mode(key.data(), key.size(), kZeroIv);
    mode.ProcessData(out, in, length);
}

void xorInto(Byte* out, const Byte* a, const Byte* b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<Byte>(a[i] ^ b[i]);
    }
}

using AesEnc = CryptoPP::AES::Encryption;
constexpr auto kParallel = CryptoPP::BlockTransformation::BT_AllowParallel;
constexpr auto kReverse = CryptoPP::BlockTransformation::BT_ReverseDirection;

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

// CFB with full feedback written out over a keyed block cipher: C[0] = P[0] ^ E(0) and
// C[j] = P[j] ^ E(C[j-1]); a short last segment uses the first bytes of its keystream block.
// Keyed cipher objects carry scratch space on some code paths, so each thread borrows one
// from a small pool instead of sharing.
struct CfbCipher::Impl
{
    SecureBytes key;
    std::array<Byte, kAesBlock> firstKeystream{}; // E(0), the same for every chunk
    std::mutex poolMutex;
    std::vector<std::unique_ptr<AesEnc>> pool;

    class Lease
    {
    public:
        explicit Lease(Impl& impl) : m_impl(impl)
        {
            {
                std::lock_guard lock(impl.poolMutex);
                if (!impl.pool.empty()) {
                    m_cipher = std::move(impl.pool.back());
                    impl.pool.pop_back();
                }
            }
            if (!m_cipher) {
                m_cipher = std::make_unique<AesEnc>(impl.key.data(), impl.key.size());
            }
        }
        ~Lease()
        {
            std::lock_guard lock(m_impl.poolMutex);
            m_impl.pool.push_back(std::move(m_cipher));
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        const AesEnc& operator*() const { return *m_cipher; }

    private:
        Impl& m_impl;
        std::unique_ptr<AesEnc> m_cipher;
    };

    void encryptOne(const AesEnc& aes, const Byte* in, Byte* out, std::size_t length) const;
    void decryptOne(const AesEnc& aes, const Byte* in, Byte* out, std::size_t length) const;
    void encryptSideBySide(const AesEnc& aes, const Byte* in, Byte* out, std::size_t lanes,
                           std::size_t chunkSize) const;
};

void CfbCipher::Impl::encryptOne(const AesEnc& aes, const Byte* in, Byte* out, std::size_t length) const
{
    if (length == 0) {
        return;
    }
    const std::size_t first = std::min(length, kAesBlock);
    xorInto(out, in, firstKeystream.data(), first);
    std::size_t pos = kAesBlock;
    for (; pos + kAesBlock <= length; pos += kAesBlock) {
        aes.ProcessAndXorBlock(out + pos - kAesBlock, in + pos, out + pos);
    }
    if (pos < length) {
        std::array<Byte, kAesBlock> keystream{};
        aes.ProcessBlock(out + pos - kAesBlock, keystream.data());
        xorInto(out + pos, in + pos, keystream.data(), length - pos);
    }
}

void CfbCipher::Impl::decryptOne(const AesEnc& aes, const Byte* in, Byte* out, std::size_t length) const
{
    if (length == 0) {
        return;
    }
    const std::size_t whole = length / kAesBlock;
    const std::size_t rest = length % kAesBlock;
    // Save the register of a short last segment before an in-place pass overwrites it.
    std::array<Byte, kAesBlock> tailRegister{};
    if (rest != 0 && whole != 0) {
        std::memcpy(tailRegister.data(), in + (whole - 1) * kAesBlock, kAesBlock);
    }
    if (whole >= 2) {
        // Every segment's keystream is known from the ciphertext: decrypt them all at once,
        // from the end so that an in-place call reads each register before it is replaced.
        aes.AdvancedProcessBlocks(in, in + kAesBlock, out + kAesBlock, (whole - 1) * kAesBlock,
                                  kParallel | kReverse);
    }
    xorInto(out, in, firstKeystream.data(), std::min(length, kAesBlock));
    if (rest != 0 && whole != 0) {
        std::array<Byte, kAesBlock> keystream{};
        aes.ProcessBlock(tailRegister.data(), keystream.data());
        xorInto(out + whole * kAesBlock, in + whole * kAesBlock, keystream.data(), rest);
    }
}

// Encrypts `lanes` whole chunks of chunkSize bytes (a multiple of the AES block) at once:
// segment j of every chunk depends only on segment j-1 of the same chunk, so the segments
// of all lanes go through the cipher in one parallel call.
void CfbCipher::Impl::encryptSideBySide(const AesEnc& aes, const Byte* in, Byte* out, std::size_t lanes,
                                        std::size_t chunkSize) const
{
    alignas(16) Byte registers[kLanes * kAesBlock];
    alignas(16) Byte plain[kLanes * kAesBlock];
    alignas(16) Byte cipher[kLanes * kAesBlock];
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        xorInto(out + lane * chunkSize, in + lane * chunkSize, firstKeystream.data(), kAesBlock);
    }
    for (std::size_t pos = kAesBlock; pos < chunkSize; pos += kAesBlock) {
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const std::size_t base = lane * chunkSize + pos;
            std::memcpy(registers + lane * kAesBlock, out + base - kAesBlock, kAesBlock);
            std::memcpy(plain + lane * kAesBlock, in + base, kAesBlock);
        }
        aes.AdvancedProcessBlocks(registers, plain, cipher, lanes * kAesBlock, kParallel);
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            std::memcpy(out + lane * chunkSize + pos, cipher + lane * kAesBlock, kAesBlock);
        }
    }
}

CfbCipher::CfbCipher(ByteView key) : m_impl(std::make_unique<Impl>())
{
    requireValidKey(key);
    m_impl->key = toSecureBytes(key);
    Impl::Lease aes(*m_impl);
    (*aes).ProcessBlock(kZeroIv, m_impl->firstKeystream.data());
}

CfbCipher::~CfbCipher()
{
    secureWipe(m_impl->firstKeystream.data(), m_impl->firstKeystream.size());
}

void CfbCipher::encrypt(const Byte* in, Byte* out, std::size_t length) const
{
    Impl::Lease aes(*m_impl);
    m_impl->encryptOne(*aes, in, out, length);
}

void CfbCipher::decrypt(const Byte* in, Byte* out, std::size_t length) const
{
    Impl::Lease aes(*m_impl);
    m_impl->decryptOne(*aes, in, out, length);
}

void CfbCipher::encryptChunks(const Byte* in, Byte* out, std::size_t length, std::size_t chunkSize) const
{
    if (chunkSize == 0) {
        chunkSize = length;
    }
    Impl::Lease aes(*m_impl);
    std::size_t pos = 0;
    if (chunkSize % kAesBlock == 0) {
        while (length - pos >= 2 * chunkSize) {
            const std::size_t lanes = std::min(kLanes, (length - pos) / chunkSize);
            m_impl->encryptSideBySide(*aes, in + pos, out + pos, lanes, chunkSize);
            pos += lanes * chunkSize;
        }
    }
    for (; pos < length; pos += chunkSize) {
        m_impl->encryptOne(*aes, in + pos, out + pos, std::min(chunkSize, length - pos));
    }
}

void CfbCipher::decryptChunks(const Byte* in, Byte* out, std::size_t length, std::size_t chunkSize) const
{
    if (chunkSize == 0) {
        chunkSize = length;
    }
    Impl::Lease aes(*m_impl);
    for (std::size_t pos = 0; pos < length; pos += chunkSize) {
        m_impl->decryptOne(*aes, in + pos, out + pos, std::min(chunkSize, length - pos));
    }
}

} // namespace kestrava::crypto
