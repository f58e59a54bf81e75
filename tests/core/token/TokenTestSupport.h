// Independent reference computations for token tests, written straight on Crypto++.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <string>

namespace kestrava::test {

crypto::SecureBytes sha256Bytes(crypto::ByteView data);
// SHA-256 applied `times` times, the first time over password followed by salt.
crypto::SecureBytes iteratedSha256(const std::string& password, crypto::ByteView salt, long times);

// Replaces the text of one element of a token document.
std::string replaceElement(std::string xml, const std::string& name, const std::string& text);
std::string removeElement(std::string xml, const std::string& name);

} // namespace kestrava::test
