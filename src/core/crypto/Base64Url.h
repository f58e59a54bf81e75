// The one text form of binary values: URL-safe Base64 with "=" padding, no line breaks.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <string>
#include <string_view>

namespace kestrava::crypto {

std::string base64UrlEncode(ByteView data);

// Decodes up to the first "=" or the first character outside the alphabet and ignores the
// rest; an incomplete final group yields only its whole bytes. Never fails.
SecureBytes base64UrlDecode(std::string_view text);

} // namespace kestrava::crypto
