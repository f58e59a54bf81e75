// Positioned reads and writes that carry on after short transfers and interrupted calls.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <cstddef>
#include <cstdint>

namespace kestrava::fs {

// Reads until length bytes or the end of the file; returns how many were read. Throws FsError.
std::size_t preadFull(int fd, crypto::Byte* buffer, std::size_t length, std::uint64_t offset);
// Writes all of buffer; throws FsError (EIO when the file takes no more bytes).
void pwriteFull(int fd, const crypto::Byte* buffer, std::size_t length, std::uint64_t offset);

} // namespace kestrava::fs
