#include "core/crypto/AesSiv.h"

#include "core/crypto/Cfb.h"

#include <array>
#include <cryptopp/aes.h>
#include <cryptopp/cmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/modes.h>

namespace kestrava::crypto {
namespace {

constexpr std::size_t kBlock = 16;
using Block = std::array<Byte, kBlock>;

// Multiplication by x in GF(2^128) as RFC 5297 defines "dbl".
Block doubled(const Block& in)
{
    Block out{};
    for (std::size_t i = 0; i < kBlock; ++i) {
        out[i] = static_cast<Byte>(in[i] << 1);
        if (i + 1 < kBlock) {
            out[i] |= static_cast<Byte>(in[i + 1] >> 7);
        }
    }
    if ((in[0] & 0x80) != 0) {
        out[kBlock - 1] ^= 0x87;
    }
    return out;
}

void xorInto(Block& a, const Block& b)
{
    for (std::size_t i = 0; i < kBlock; ++i) {
        a[i] ^= b[i];
    }
}

Block cmac(const SecureBytes& key, ByteView data)
{
    Block out{};
    CryptoPP::CMAC<CryptoPP::AES> mac(key.data(), key.size());
    mac.CalculateDigest(out.data(), data.data(), data.size());
    return out;
}

} // namespace

AesSiv::AesSiv(ByteView key)
{
    if (key.size() != 32 && key.size() != 64) {
        throw InvalidKeyLength("AES-SIV key of " + std::to_string(key.size()) + " bytes");
    }
    const std::size_t half = key.size() / 2;
    m_macKey = toSecureBytes(key.subspan(0, half));
    m_ctrKey = toSecureBytes(key.subspan(half));
}

AesSiv::~AesSiv() = default;

void AesSiv::s2v(const std::vector<ByteView>& associated, ByteView plain, Byte* out) const
{
    const Block zero{};
    Block d = cmac(m_macKey, zero);
    for (const ByteView item : associated) {
        d = doubled(d);
        xorInto(d, cmac(m_macKey, item));
    }
    Block v{};
    if (plain.size() >= kBlock) {
        // T = plain with D XORed into its last 16 bytes.
        SecureBytes t = toSecureBytes(plain);
        for (std::size_t i = 0; i < kBlock; ++i) {
            t[t.size() - kBlock + i] ^= d[i];
        }
        v = cmac(m_macKey, t);
    } else {
        Block t = doubled(d);
        Block padded{};
        std::copy(plain.begin(), plain.end(), padded.begin());
        padded[plain.size()] = 0x80;
        xorInto(t, padded);
        v = cmac(m_macKey, t);
    }
    std::copy(v.begin(), v.end(), out);
}

void AesSiv::ctr(const Byte* iv, const Byte* in, Byte* out, std::size_t length) const
{
    // The counter is the IV with bit 63 and bit 31 (counted from the right of each half) cleared.
    Block q{};
    std::copy(iv, iv + kBlock, q.begin());
    q[8] &= 0x7F;
    q[12] &= 0x7F;
    CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption mode(m_ctrKey.data(), m_ctrKey.size(), q.data());
    mode.ProcessData(out, in, length);
}

SecureBytes AesSiv::encrypt(const std::vector<ByteView>& associated, ByteView plain) const
{
    SecureBytes out(kTagSize + plain.size());
    s2v(associated, plain, out.data());
    ctr(out.data(), plain.data(), out.data() + kTagSize, plain.size());
    return out;
}

std::optional<SecureBytes> AesSiv::decrypt(const std::vector<ByteView>& associated, ByteView sealed) const
{
    if (sealed.size() < kTagSize) {
        return std::nullopt;
    }
    SecureBytes plain(sealed.size() - kTagSize);
    ctr(sealed.data(), sealed.data() + kTagSize, plain.data(), plain.size());
    Block check{};
    s2v(associated, plain, check.data());
    if (!CryptoPP::VerifyBufsEqual(check.data(), sealed.data(), kTagSize)) {
        return std::nullopt;
    }
    return plain;
}

} // namespace kestrava::crypto
