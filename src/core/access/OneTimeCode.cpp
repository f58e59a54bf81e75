#include "core/access/OneTimeCode.h"

#include "core/access/Base32.h"
#include "core/crypto/Hash.h"

#include <array>

namespace kestrava {

std::uint32_t hotp(crypto::ByteView key, std::uint64_t counter)
{
    std::array<crypto::Byte, 8> message{};
    for (int i = 7; i >= 0; --i) {
        message[static_cast<std::size_t>(i)] = static_cast<crypto::Byte>(counter & 0xFF);
        counter >>= 8;
    }
    std::array<crypto::Byte, 20> digest = crypto::hmacSha1(key, message);
    const std::size_t offset = digest[19] & 0x0F;
    const std::uint32_t truncated = (static_cast<std::uint32_t>(digest[offset] & 0x7F) << 24) |
                                    (static_cast<std::uint32_t>(digest[offset + 1]) << 16) |
                                    (static_cast<std::uint32_t>(digest[offset + 2]) << 8) |
                                    static_cast<std::uint32_t>(digest[offset + 3]);
    crypto::secureWipe(digest.data(), digest.size());
    return truncated % kCodeModulus;
}

std::uint64_t timeStep(std::chrono::system_clock::time_point now)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    // A clock before 1970 is broken; step 0 keeps the arithmetic defined.
    return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds) / kTimeStepSeconds;
}

std::uint64_t readCodeNumber(std::string_view typed)
{
    constexpr std::uint64_t kCeiling = 1'000'000'000'000ULL; // far above any code
    std::uint64_t number = 0;
    for (const char c : typed) {
        if (c < '0' || c > '9') {
            break;
        }
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
        if (number >= kCeiling) {
            return kCeiling;
        }
    }
    return number;
}

CodeCheck checkOneTimeCode(std::string_view typed, std::string_view secret,
                           std::chrono::system_clock::time_point now)
{
    const crypto::SecureBytes key = decodeOneTimeCodeKey(secret);
    if (key.empty()) {
        return CodeCheck::DamagedSecret;
    }
    const std::uint64_t code = readCodeNumber(typed);
    const std::uint64_t step = timeStep(now);
    for (int i = -kAcceptedStepsEachWay; i <= kAcceptedStepsEachWay; ++i) {
        if (i < 0 && step < static_cast<std::uint64_t>(-i)) {
            continue;
        }
        if (code == hotp(key, step + static_cast<std::uint64_t>(static_cast<std::int64_t>(i)))) {
            return CodeCheck::Accepted;
        }
    }
    return CodeCheck::Refused;
}

} // namespace kestrava
