// The decoder must accept anything; what it decodes must encode back to the accepted prefix.
#include "core/crypto/Base64Url.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto decoded = kestrava::crypto::base64UrlDecode(text);
    const std::string encoded = kestrava::crypto::base64UrlEncode(decoded);
    const auto again = kestrava::crypto::base64UrlDecode(encoded);
    if (again != decoded) {
        __builtin_trap();
    }
    return 0;
}
