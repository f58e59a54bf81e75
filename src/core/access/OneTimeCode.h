// One-time codes as the authenticator app computes them: HOTP (HMAC-SHA1, 6 digits) over
// 30-second time steps. The clock is always passed in so that checks can be tested.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <chrono>
#include <cstdint>
#include <string_view>

namespace kestrava {

inline constexpr int kTimeStepSeconds = 30;
inline constexpr int kAcceptedStepsEachWay = 2; // up to a minute of clock difference
inline constexpr std::uint32_t kCodeModulus = 1'000'000;

// HMAC-SHA1 of the counter (8 bytes, big-endian), dynamically truncated, modulo 10^6.
std::uint32_t hotp(crypto::ByteView key, std::uint64_t counter);

// The time step of a moment: whole 30-second periods since 1970-01-01 UTC.
std::uint64_t timeStep(std::chrono::system_clock::time_point now);

// The typed code as a number: leading decimal digits, so leading zeros are allowed and the
// first non-digit ends it; a number too large for any code saturates instead of wrapping.
std::uint64_t readCodeNumber(std::string_view typed);

enum class CodeCheck
{
    Accepted,
    Refused,
    // The secret decodes to no key (empty or damaged stored secret): nothing can be checked.
    DamagedSecret,
};

// The check of a typed code against a base32 secret at the given moment: accepted when it
// equals the code of any step from two before to two after the current one.
CodeCheck checkOneTimeCode(std::string_view typed, std::string_view secret,
                           std::chrono::system_clock::time_point now);

} // namespace kestrava
