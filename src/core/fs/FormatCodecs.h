// The name and content codecs of a drive format, keyed from the drive's master key.
#pragma once

#include "core/crypto/Cfb.h"
#include "core/fs/ContentCodec.h"
#include "core/fs/NameCodec.h"
#include "core/token/DriveFormat.h"

#include <memory>

namespace kestrava::fs {

struct DriveCodecs
{
    std::unique_ptr<crypto::CfbCipher> cfb; // the compatible format's cipher (null otherwise)
    std::unique_ptr<NameCodec> names;
    std::unique_ptr<ContentCodec> content;
};

// Throws crypto::InvalidKeyLength for a key the format cannot use (hardened: 32 bytes only).
DriveCodecs makeCodecs(token::DriveFormat format, crypto::ByteView masterKey);

} // namespace kestrava::fs
