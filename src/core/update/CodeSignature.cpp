#include "core/update/CodeSignature.h"

#include "core/crypto/Hash.h"
#include "core/update/UpdateBuildSettings.h"
#include "core/util/AtomicFile.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace kestrava::update {
namespace {

constexpr std::size_t kMaxSignatureFileBytes = 65536;
constexpr std::size_t kSerialBytes = 16;
constexpr std::array<std::string_view, 5> kFieldNames = {"program-name", "link", "public-key", "sha512",
                                                         "signature"};

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool isLowerHex(std::string_view text, std::size_t length)
{
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

template <std::size_t N> std::optional<std::array<crypto::Byte, N>> fixedFromHex(std::string_view hex)
{
    const auto bytes = crypto::fromHex(hex);
    if (!bytes || bytes->size() != N) {
        return std::nullopt;
    }
    std::array<crypto::Byte, N> out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

} // namespace

std::string serialOf(const crypto::PublicKey& key)
{
    const crypto::Sha256Digest digest = crypto::sha256(key);
    return crypto::toLowerHex(crypto::ByteView(digest.data(), kSerialBytes));
}

std::optional<crypto::PublicKey> parsePublicKey(std::string_view hex)
{
    if (hex.size() != 2 * crypto::kSigningKeyBytes) {
        return std::nullopt;
    }
    return fixedFromHex<crypto::kSigningKeyBytes>(hex);
}

std::optional<Publisher> builtInPublisher()
{
    const auto key = parsePublicKey(kUpdatePublicKey);
    if (!key) {
        return std::nullopt;
    }
    return Publisher{std::string(kOwnProgramName), kUpdateLink, *key, serialOf(*key)};
}

std::filesystem::path signaturePathFor(const std::filesystem::path& file)
{
    std::filesystem::path signature = file;
    signature += kSignatureSuffix;
    return signature;
}

std::string signedStatement(const SignatureFields& fields)
{
    std::string text = std::string(kSignatureFormatLine) + "\n";
    text += "program-name: " + fields.programName + "\n";
    text += "link: " + fields.link + "\n";
    text += "public-key: " + fields.publicKey + "\n";
    text += "sha512: " + fields.sha512 + "\n";
    return text;
}

std::string formatSignatureFile(const SignatureFields& fields)
{
    return signedStatement(fields) + "signature: " + fields.signature + "\n";
}

std::optional<SignatureFields> parseSignatureFile(std::string_view text)
{
    if (text.size() > kMaxSignatureFileBytes) {
        return std::nullopt;
    }
    std::array<std::string, kFieldNames.size() + 1> lines;
    std::size_t start = 0;
    for (std::string& line : lines) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        line = std::string(text.substr(start, end - start));
        start = end + 1;
    }
    if (start != text.size() || lines[0] != kSignatureFormatLine) {
        return std::nullopt;
    }
    std::array<std::string, kFieldNames.size()> values;
    for (std::size_t i = 0; i < kFieldNames.size(); ++i) {
        const std::string prefix = std::string(kFieldNames[i]) + ": ";
        if (lines[i + 1].rfind(prefix, 0) != 0) {
            return std::nullopt;
        }
        values[i] = lines[i + 1].substr(prefix.size());
    }
    SignatureFields fields{values[0], values[1], values[2], values[3], values[4]};
    if (!isLowerHex(fields.publicKey, 2 * crypto::kSigningKeyBytes) || !isLowerHex(fields.sha512, 128) ||
        !isLowerHex(fields.signature, 2 * crypto::kSignatureBytes)) {
        return std::nullopt;
    }
    return fields;
}

std::optional<std::string> makeSignatureFile(const std::filesystem::path& file, crypto::ByteView privateKey,
                                             std::string_view programName, std::string_view link)
{
    const auto hasBreak = [](std::string_view text) {
        return text.find_first_of("\r\n") != std::string_view::npos;
    };
    if (hasBreak(programName) || hasBreak(link)) {
        return std::nullopt;
    }
    const auto publicKey = crypto::publicKeyFor(privateKey);
    const auto digest = crypto::sha512OfFile(file);
    if (!publicKey || !digest) {
        return std::nullopt;
    }
    SignatureFields fields{std::string(programName),
                           std::string(link),
                           crypto::toLowerHex(*publicKey),
                           crypto::toLowerHex(*digest),
                           {}};
    const auto signature = crypto::signMessage(privateKey, signedStatement(fields));
    if (!signature) {
        return std::nullopt;
    }
    fields.signature = crypto::toLowerHex(*signature);
    return formatSignatureFile(fields);
}

SignatureCheck checkCodeSignature(const std::filesystem::path& file, const Publisher& expected)
{
    std::string text;
    std::string error;
    if (!util::readSmallFile(signaturePathFor(file), kMaxSignatureFileBytes, text, error)) {
        return SignatureCheck::Missing;
    }
    const auto fields = parseSignatureFile(text);
    if (!fields) {
        return SignatureCheck::Malformed;
    }
    const auto key = parsePublicKey(fields->publicKey);
    const auto signature = fixedFromHex<crypto::kSignatureBytes>(fields->signature);
    if (!key || !signature) {
        return SignatureCheck::Malformed;
    }
    if (*key != expected.key) {
        return SignatureCheck::OtherKey;
    }
    if (!crypto::verifySignature(expected.key, signedStatement(*fields), *signature)) {
        return SignatureCheck::BadSignature;
    }
    const auto digest = crypto::sha512OfFile(file);
    if (!digest) {
        return SignatureCheck::Unreadable;
    }
    if (crypto::toLowerHex(*digest) != fields->sha512) {
        return SignatureCheck::FileChanged;
    }
    // A missing name or link never matches.
    if (fields->programName.empty() || !equalIgnoringCase(fields->programName, expected.programName)) {
        return SignatureCheck::OtherProgramName;
    }
    if (fields->link.empty() || !equalIgnoringCase(fields->link, expected.link)) {
        return SignatureCheck::OtherLink;
    }
    if (serialOf(*key) != expected.serial) {
        return SignatureCheck::OtherSerial;
    }
    return SignatureCheck::Valid;
}

std::string describeSignatureCheck(SignatureCheck check)
{
    switch (check) {
    case SignatureCheck::Valid:
        return "valid";
    case SignatureCheck::Missing:
        return "the signature file is missing or unreadable";
    case SignatureCheck::Malformed:
        return "the signature file is not in the expected format";
    case SignatureCheck::OtherKey:
        return "signed with another key";
    case SignatureCheck::BadSignature:
        return "the signature does not match its signed lines";
    case SignatureCheck::FileChanged:
        return "the file is not the one that was signed";
    case SignatureCheck::OtherProgramName:
        return "signed for another program name";
    case SignatureCheck::OtherLink:
        return "signed with another more-information link";
    case SignatureCheck::OtherSerial:
        return "the signer's serial is not the expected one";
    case SignatureCheck::Unreadable:
        return "the file cannot be read";
    }
    return "unknown";
}

bool verifyCodeSignature(const std::filesystem::path& file, const Publisher& expected)
{
    return checkCodeSignature(file, expected) == SignatureCheck::Valid;
}

SelfCheck checkOwnExecutable(const std::filesystem::path& executable,
                             const std::optional<Publisher>& publisher)
{
    std::error_code error;
    if (!publisher || !std::filesystem::exists(signaturePathFor(executable), error)) {
        return SelfCheck::NotChecked;
    }
    return verifyCodeSignature(executable, *publisher) ? SelfCheck::Valid : SelfCheck::Failed;
}

} // namespace kestrava::update
