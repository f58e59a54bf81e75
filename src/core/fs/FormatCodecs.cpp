#include "core/fs/FormatCodecs.h"

#include "core/crypto/Kdf.h"
#include "core/fs/HardenedNames.h"
#include "core/fs/SealedContent.h"

namespace kestrava::fs {
namespace {

// Each use gets its own key, derived from the master key with HKDF-SHA-256.
crypto::SecureBytes subkey(crypto::ByteView masterKey, std::string_view use, std::size_t length)
{
    const std::string info = "kestrava hardened-1 " + std::string(use);
    return crypto::hkdfSha256(masterKey, {}, crypto::asBytes(info), length);
}

} // namespace

DriveCodecs makeCodecs(token::DriveFormat format, crypto::ByteView masterKey)
{
    DriveCodecs codecs;
    if (format == token::DriveFormat::Compatible) {
        codecs.cfb = std::make_unique<crypto::CfbCipher>(masterKey);
        codecs.names = std::make_unique<CompatibleNameCodec>(*codecs.cfb);
        codecs.content = std::make_unique<CompatibleContentCodec>(*codecs.cfb);
        return codecs;
    }
    if (masterKey.size() != 32) {
        throw crypto::InvalidKeyLength("a hardened drive needs a 32-byte master key");
    }
    codecs.names =
        std::make_unique<HardenedNameCodec>(subkey(masterKey, "names", 64), subkey(masterKey, "links", 32));
    codecs.content = std::make_unique<SealedContentCodec>(subkey(masterKey, "content", 32),
                                                          subkey(masterKey, "values", 32));
    return codecs;
}

} // namespace kestrava::fs
