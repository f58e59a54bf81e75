// Signed installers: "<file>.sig" beside a file holds the program name, the more-information
// link, the signer's Ed25519 public key and the file's SHA-512, signed with that key. A file is
// trusted only when all of it checks out against the publisher this build expects.
#pragma once

#include "core/crypto/Signing.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::update {

inline constexpr std::string_view kOwnProgramName = "Harbrook Kestrava";
inline constexpr std::string_view kSignatureSuffix = ".sig";
inline constexpr std::string_view kSignatureFormatLine = "kestrava-signature 1";

struct Publisher
{
    std::string programName;
    std::string link;
    crypto::PublicKey key{};
    std::string serial; // serialOf(key) unless a test says otherwise
};

// 32 lower-case hex digits: the first 16 bytes of the key's SHA-256.
std::string serialOf(const crypto::PublicKey& key);

// The publisher built in (-DKESTRAVA_UPDATE_PUBLIC_KEY, -DKESTRAVA_UPDATE_LINK); nothing when
// this build has no key.
std::optional<Publisher> builtInPublisher();
// The key text as given to the build; nothing unless it is 64 hex digits.
std::optional<crypto::PublicKey> parsePublicKey(std::string_view hex);

std::filesystem::path signaturePathFor(const std::filesystem::path& file);

struct SignatureFields
{
    std::string programName;
    std::string link;
    std::string publicKey; // 64 hex digits
    std::string sha512;    // 128 hex digits
    std::string signature; // 128 hex digits
};

// The signed part of a signature file: its first five lines.
std::string signedStatement(const SignatureFields& fields);
std::string formatSignatureFile(const SignatureFields& fields);
std::optional<SignatureFields> parseSignatureFile(std::string_view text);

// The text of file's signature file; nothing when the file cannot be read, the key is not 32
// bytes, or the name or link hold a line break.
std::optional<std::string> makeSignatureFile(const std::filesystem::path& file, crypto::ByteView privateKey,
                                             std::string_view programName, std::string_view link);

enum class SignatureCheck
{
    Valid,
    Missing, // no "<file>.sig", or it cannot be read
    Malformed,
    OtherKey,     // signed with a key other than the publisher's
    BadSignature, // the signed lines were changed
    FileChanged,  // the file is not the one that was signed
    OtherProgramName,
    OtherLink,
    OtherSerial,
    Unreadable, // the file itself cannot be read
};

SignatureCheck checkCodeSignature(const std::filesystem::path& file, const Publisher& expected);
std::string describeSignatureCheck(SignatureCheck check);

// True only when file carries a valid signature of the expected publisher.
bool verifyCodeSignature(const std::filesystem::path& file, const Publisher& expected);

enum class SelfCheck
{
    NotChecked, // no publisher key built in, or no signature beside the executable
    Valid,
    Failed,
};

// The program's own executable, checked when the build has a key and a signature lies beside it.
SelfCheck checkOwnExecutable(const std::filesystem::path& executable,
                             const std::optional<Publisher>& publisher);

} // namespace kestrava::update
