// The security token's XML document: reading its fields and writing it, without file I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::token {

inline constexpr const char* kTokenFileName = ".qxsession.xml";
inline constexpr const char* kLegacyTokenVersion = "1.0.0.0";
// Encoded values and their character counts are at most this long in a valid token.
inline constexpr std::size_t kMaxEncodedValue = 259;

struct TokenFields
{
    std::string version;
    std::int32_t keySize = 0;
    std::int32_t blockSize = 0;
    std::int32_t saltSize = 0;
    std::int32_t kdfIterations = 0;
    std::int32_t kdfDuration = 0;
    std::int32_t checkSize = 0;
    std::string encodedSalt;  // already cut to "encodedsaltsize" characters
    std::string encodedKey;   // already cut to "encodedkeysize" characters
    std::string encodedCheck; // already cut to "encodedchecksize" characters
    bool fileNameEncryption = false;
    bool longFileName = false;
    bool caseInsensitive = false;
    std::string digest;

    bool isLegacy() const { return version == kLegacyTokenVersion; }
};

// Numbers: the leading decimal digits count; anything else, or a missing element, is 0.
std::int32_t parseTokenNumber(std::string_view text);

enum class TokenParseStatus
{
    Parsed,
    NotXml,     // the text does not parse as XML at all
    NoKeySize,  // readable XML whose "keysize" under a "Kestrava" root reads as 0 or is missing
    OutOfRange, // a count or encoded value beyond the format's limits
};

// Reads the fields. Fails with a reason for text that is not XML, has no "Kestrava" root,
// has "keysize" 0 or missing, or holds a count or encoded value beyond the format's limits;
// fields are only written on success.
TokenParseStatus parseTokenFields(std::string_view xml, TokenFields& fields, std::string& error);
bool parseTokenDocument(std::string_view xml, TokenFields& fields, std::string& error);

// The "version" text of a document with a "Kestrava" root, also when the rest of it does not
// parse as a token (an old token may lack elements the reader requires); empty otherwise.
std::string readTokenVersion(std::string_view xml);

// A complete new token in the fixed element order: declaration, tab indentation, UTF-8.
std::string writeTokenDocument(const TokenFields& fields);

// The values a password change rewrites.
struct RewrapValues
{
    std::string encodedKey;
    std::string encodedCheck;
    std::int32_t checkSize = 0;
    bool fileNameEncryption = false;
    bool longFileName = false;
    bool caseInsensitive = false;
    std::string digest; // written only where the token already has a digest text
};

// Updates an existing token's text in place. Fails, producing nothing, when the existing
// document does not parse or its "keysize" is 0: such a file must never be replaced.
bool rewrapTokenDocument(std::string_view existingXml, const RewrapValues& values, std::string& updatedXml,
                         std::string& error);

} // namespace kestrava::token
