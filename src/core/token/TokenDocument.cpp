#include "core/token/TokenDocument.h"

#include <limits>
#include <pugixml.hpp>
#include <sstream>

namespace kestrava::token {
namespace {

constexpr const char* kRoot = "Kestrava";

const char* yesNo(bool on)
{
    return on ? "Y" : "N";
}

bool loadXml(std::string_view xml, pugi::xml_document& doc, std::string& error)
{
    const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size());
    if (!result) {
        error = std::string("not a valid XML document (") + result.description() + ")";
        return false;
    }
    if (!doc.child(kRoot)) {
        error = "the document has no \"Kestrava\" root element";
        return false;
    }
    return true;
}

std::string saveXml(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

// Takes "count" characters of an encoded value, as the count element says.
bool takeEncoded(const pugi::xml_node& root, const char* countName, const char* dataName, std::string& out,
                 std::string& error)
{
    const std::int32_t count = parseTokenNumber(root.child(countName).text().get());
    const std::string_view data = root.child(dataName).text().get();
    if (static_cast<std::size_t>(count) > kMaxEncodedValue) {
        error = std::string("\"") + countName + "\" is out of range";
        return false;
    }
    out.assign(data.substr(0, static_cast<std::size_t>(count)));
    return true;
}

void setText(pugi::xml_node root, const char* name, const std::string& value)
{
    pugi::xml_node node = root.child(name);
    if (node && !node.text().empty()) {
        node.text().set(value.c_str());
    }
}

void setOption(pugi::xml_node root, const char* name, bool on)
{
    pugi::xml_node node = root.child(name);
    if (!node) {
        node = root.append_child(name);
    }
    node.text().set(yesNo(on));
}

} // namespace

std::int32_t parseTokenNumber(std::string_view text)
{
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
            return std::numeric_limits<std::int32_t>::max();
        }
    }
    return static_cast<std::int32_t>(value);
}

TokenParseStatus parseTokenFields(std::string_view xml, TokenFields& fields, std::string& error)
{
    pugi::xml_document doc;
    if (!loadXml(xml, doc, error)) {
        return TokenParseStatus::NotXml;
    }
    const pugi::xml_node root = doc.child(kRoot);
    auto number = [&](const char* name) { return parseTokenNumber(root.child(name).text().get()); };
    auto option = [&](const char* name) { return std::string_view(root.child(name).text().get()) == "Y"; };

    TokenFields f;
    f.keySize = number("keysize");
    if (f.keySize == 0) {
        error = "the token has no key size";
        return TokenParseStatus::NoKeySize;
    }
    f.blockSize = number("blocksize");
    f.saltSize = number("saltsize");
    f.checkSize = number("checksize");
    f.kdfIterations = number("kdfiteration");
    f.kdfDuration = number("kdfduration");
    if (!takeEncoded(root, "encodedsaltsize", "encodedsaltdata", f.encodedSalt, error) ||
        !takeEncoded(root, "encodedkeysize", "encodedkeydata", f.encodedKey, error) ||
        !takeEncoded(root, "encodedchecksize", "encodedcheckdata", f.encodedCheck, error)) {
        return TokenParseStatus::OutOfRange;
    }
    f.fileNameEncryption = option("filenameencryption");
    f.longFileName = option("longfilename");
    f.caseInsensitive = option("filenamecaseinsensitivity");
    f.digest = root.child("digest").text().get();
    if (f.digest.size() > kMaxEncodedValue) {
        error = "\"digest\" is too long";
        return TokenParseStatus::OutOfRange;
    }
    f.version = root.child("version").text().get();
    fields = std::move(f);
    return TokenParseStatus::Parsed;
}

bool parseTokenDocument(std::string_view xml, TokenFields& fields, std::string& error)
{
    return parseTokenFields(xml, fields, error) == TokenParseStatus::Parsed;
}

std::string readTokenVersion(std::string_view xml)
{
    pugi::xml_document doc;
    std::string error;
    if (!loadXml(xml, doc, error)) {
        return {};
    }
    return doc.child(kRoot).child("version").text().get();
}

std::string writeTokenDocument(const TokenFields& f)
{
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child(kRoot);
    auto add = [&](const char* name, const std::string& value) {
        root.append_child(name).text().set(value.c_str());
    };
    add("version", f.version);
    add("keysize", std::to_string(f.keySize));
    add("blocksize", std::to_string(f.blockSize));
    add("uniqueiv", "0");
    add("saltsize", std::to_string(f.saltSize));
    add("encodedsaltsize", std::to_string(f.encodedSalt.size()));
    add("encodedsaltdata", f.encodedSalt);
    add("encodedkeysize", std::to_string(f.encodedKey.size()));
    add("encodedkeydata", f.encodedKey);
    add("kdfiteration", std::to_string(f.kdfIterations));
    add("kdfduration", std::to_string(f.kdfDuration));
    add("checksize", std::to_string(f.checkSize));
    add("encodedchecksize", std::to_string(f.encodedCheck.size()));
    add("encodedcheckdata", f.encodedCheck);
    add("filenameencryption", yesNo(f.fileNameEncryption));
    add("longfilename", yesNo(f.longFileName));
    add("filenamecaseinsensitivity", yesNo(f.caseInsensitive));
    add("digest", f.digest);
    return saveXml(doc);
}

bool rewrapTokenDocument(std::string_view existingXml, const RewrapValues& values, std::string& updatedXml,
                         std::string& error)
{
    pugi::xml_document doc;
    if (!loadXml(existingXml, doc, error)) {
        return false;
    }
    pugi::xml_node root = doc.child(kRoot);
    if (parseTokenNumber(root.child("keysize").text().get()) == 0) {
        error = "the token has no key size";
        return false;
    }
    setText(root, "encodedkeysize", std::to_string(values.encodedKey.size()));
    setText(root, "encodedkeydata", values.encodedKey);
    setText(root, "checksize", std::to_string(values.checkSize));
    setText(root, "encodedcheckdata", values.encodedCheck);
    setText(root, "longfilename", yesNo(values.longFileName));
    setOption(root, "filenameencryption", values.fileNameEncryption);
    setOption(root, "filenamecaseinsensitivity", values.caseInsensitive);
    setText(root, "digest", values.digest); // a token without a digest text (legacy) gets none
    updatedXml = saveXml(doc);
    return true;
}

} // namespace kestrava::token
