#include "core/token/HardenedToken.h"

#include "core/token/TokenDocument.h"
#include "core/util/AtomicFile.h"

#include <pugixml.hpp>
#include <sstream>

namespace kestrava::token {
namespace {

constexpr const char* kRoot = "Kestrava";

std::uint64_t parseUnsigned(std::string_view text)
{
    std::uint64_t value = 0;
    if (text.empty() || text.size() > 12) {
        return 0;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

const char* yesNo(bool on)
{
    return on ? "Y" : "N";
}

} // namespace

std::string_view formatName(DriveFormat format)
{
    return format == DriveFormat::Hardened ? "hardened" : "compatible";
}

std::optional<DriveFormat> parseFormatName(std::string_view name)
{
    if (name == "compatible") {
        return DriveFormat::Compatible;
    }
    if (name == "hardened") {
        return DriveFormat::Hardened;
    }
    return std::nullopt;
}

bool isHardenedTokenText(std::string_view xml)
{
    return readTokenVersion(xml) == kHardenedTokenVersion;
}

std::optional<DriveFormat> readTokenFormat(const std::filesystem::path& tokenPath)
{
    std::string xml;
    std::string error;
    if (!util::readSmallFile(tokenPath, 64 * 1024, xml, error)) {
        return std::nullopt;
    }
    HardenedFields hardened;
    if (parseHardenedToken(xml, hardened, error)) {
        return DriveFormat::Hardened;
    }
    TokenFields fields;
    if (parseTokenDocument(xml, fields, error)) {
        return DriveFormat::Compatible;
    }
    return std::nullopt;
}

bool parseHardenedToken(std::string_view xml, HardenedFields& fields, std::string& error)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size()) || !doc.child(kRoot)) {
        error = "not a token document";
        return false;
    }
    const pugi::xml_node root = doc.child(kRoot);
    if (std::string_view(root.child("version").text().get()) != kHardenedTokenVersion) {
        error = "not a hardened token";
        return false;
    }
    if (std::string_view(root.child("kdf").text().get()) != "scrypt") {
        error = "unknown key derivation";
        return false;
    }
    HardenedFields f;
    f.scrypt.cost = parseUnsigned(root.child("scryptn").text().get());
    f.scrypt.blockSize = static_cast<std::uint32_t>(parseUnsigned(root.child("scryptr").text().get()));
    f.scrypt.parallel = static_cast<std::uint32_t>(parseUnsigned(root.child("scryptp").text().get()));
    if (!crypto::isAcceptableScrypt(f.scrypt)) {
        error = "key derivation parameters out of range";
        return false;
    }
    f.encodedSalt = root.child("salt").text().get();
    f.encodedSealedKey = root.child("sealedkey").text().get();
    if (f.encodedSalt.empty() || f.encodedSealedKey.empty() || f.encodedSalt.size() > kMaxEncodedValue ||
        f.encodedSealedKey.size() > kMaxEncodedValue) {
        error = "salt or sealed key missing or too long";
        return false;
    }
    auto option = [&](const char* name) { return std::string_view(root.child(name).text().get()) == "Y"; };
    f.options.fileNameEncryption = option("filenameencryption");
    f.options.longFileNames = option("longfilename");
    f.options.caseInsensitive = option("filenamecaseinsensitivity");
    fields = std::move(f);
    return true;
}

std::string writeHardenedToken(const HardenedFields& f)
{
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child(kRoot);
    auto add = [&](const char* name, const std::string& value) {
        root.append_child(name).text().set(value.c_str());
    };
    add("version", kHardenedTokenVersion);
    add("kdf", "scrypt");
    add("scryptn", std::to_string(f.scrypt.cost));
    add("scryptr", std::to_string(f.scrypt.blockSize));
    add("scryptp", std::to_string(f.scrypt.parallel));
    add("salt", f.encodedSalt);
    add("sealedkey", f.encodedSealedKey);
    add("filenameencryption", yesNo(f.options.fileNameEncryption));
    add("longfilename", yesNo(f.options.longFileNames));
    add("filenamecaseinsensitivity", yesNo(f.options.caseInsensitive));
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

std::string hardenedKeyBinding(const HardenedFields& f)
{
    std::string binding = kHardenedTokenVersion;
    binding += "|scrypt|" + std::to_string(f.scrypt.cost) + "|" + std::to_string(f.scrypt.blockSize) + "|" +
               std::to_string(f.scrypt.parallel) + "|" + f.encodedSalt + "|";
    binding += yesNo(f.options.fileNameEncryption);
    binding += yesNo(f.options.longFileNames);
    binding += yesNo(f.options.caseInsensitive);
    return binding;
}

} // namespace kestrava::token
