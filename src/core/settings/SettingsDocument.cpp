#include "core/settings/SettingsDocument.h"

#include "core/crypto/Base64Url.h"
#include "core/crypto/Hash.h"

#include <algorithm>
#include <pugixml.hpp>

namespace kestrava::settings {
namespace {

// pugixml takes zero-terminated names; the views we get may not be.
std::string z(std::string_view text)
{
    return std::string(text);
}

// The program values that the digest covers, in the order they are appended.
constexpr std::string_view kDigestedValues[] = {"EnableGoogleAuth", "GoogleAuthKey", "EnableKestravaPwd",
                                                "KestravaPwd"};

class StringWriter : public pugi::xml_writer
{
public:
    void write(const void* data, std::size_t size) override
    {
        m_text.append(static_cast<const char*>(data), size);
    }
    std::string& text() { return m_text; }

private:
    std::string m_text;
};

int parseAutomount(const char* text)
{
    // A decimal integer; anything unreadable counts as 0 (not mounted at start).
    long value = 0;
    bool any = false;
    const char* p = text;
    const bool negative = *p == '-';
    if (negative || *p == '+') {
        ++p;
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
        any = true;
        value = value * 10 + (*p - '0');
        if (value > 1'000'000) {
            return 0;
        }
    }
    if (!any) {
        return 0;
    }
    return static_cast<int>(negative ? -value : value);
}

// SHA-256 over every record's "folder" and "pwd" in document order, then the covered program
// values that exist, with no separators.
crypto::Sha256Digest digestOf(const pugi::xml_node& root)
{
    crypto::SecureString covered = crypto::makeSecureString({});
    for (pugi::xml_node drive : root.child("drives").children("drive")) {
        covered += drive.attribute("folder").value();
        covered += drive.attribute("pwd").value();
    }
    for (std::string_view name : kDigestedValues) {
        if (const pugi::xml_node node = root.child(z(name).c_str())) {
            covered += node.child_value();
        }
    }
    return crypto::sha256(crypto::asBytes(std::string_view(covered)));
}

// Element by element: names, attributes in order, and the text of each element.
bool sameElements(const pugi::xml_node& a, const pugi::xml_node& b)
{
    if (std::string_view(a.name()) != b.name() || std::string_view(a.child_value()) != b.child_value()) {
        return false;
    }
    auto attrA = a.attributes_begin();
    auto attrB = b.attributes_begin();
    for (; attrA != a.attributes_end() && attrB != b.attributes_end(); ++attrA, ++attrB) {
        if (std::string_view(attrA->name()) != attrB->name() ||
            std::string_view(attrA->value()) != attrB->value()) {
            return false;
        }
    }
    if (attrA != a.attributes_end() || attrB != b.attributes_end()) {
        return false;
    }
    const auto nextElement = [](pugi::xml_node node) {
        while (node && node.type() != pugi::node_element) {
            node = node.next_sibling();
        }
        return node;
    };
    pugi::xml_node childA = nextElement(a.first_child());
    pugi::xml_node childB = nextElement(b.first_child());
    for (; childA && childB;
         childA = nextElement(childA.next_sibling()), childB = nextElement(childB.next_sibling())) {
        if (!sameElements(childA, childB)) {
            return false;
        }
    }
    return !childA && !childB;
}

} // namespace

struct SettingsDocument::Impl
{
    pugi::xml_document doc;

    pugi::xml_node root() const { return doc.child("Kestrava"); }
    pugi::xml_node drives() const { return root().child("drives"); }

    pugi::xml_node recordAt(std::size_t index) const
    {
        std::size_t i = 0;
        for (pugi::xml_node drive : drives().children("drive")) {
            if (i++ == index) {
                return drive;
            }
        }
        return {};
    }

    pugi::xml_node ensureRootNode()
    {
        pugi::xml_node node = root();
        return node ? node : doc.append_child("Kestrava");
    }

    pugi::xml_node ensureDrivesNode()
    {
        pugi::xml_node rootNode = ensureRootNode();
        pugi::xml_node node = rootNode.child("drives");
        return node ? node : rootNode.append_child("drives");
    }

    pugi::xml_node ensureValueNode(std::string_view name)
    {
        pugi::xml_node rootNode = ensureRootNode();
        const std::string key = z(name);
        pugi::xml_node node = rootNode.child(key.c_str());
        return node ? node : rootNode.append_child(key.c_str());
    }
};

SettingsDocument::SettingsDocument() : m_impl(std::make_unique<Impl>()) {}
SettingsDocument::~SettingsDocument() = default;
SettingsDocument::SettingsDocument(SettingsDocument&&) noexcept = default;
SettingsDocument& SettingsDocument::operator=(SettingsDocument&&) noexcept = default;

SettingsDocument SettingsDocument::makeEmpty()
{
    SettingsDocument document;
    document.m_impl->ensureDrivesNode();
    return document;
}

ParseStatus SettingsDocument::parse(std::string_view bytes)
{
    m_impl->doc.reset();
    const pugi::xml_parse_result result =
        m_impl->doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result) {
        m_impl->doc.reset();
        return ParseStatus::NotXml;
    }
    // Text in the program is UTF-8; raw bytes that are not would reach paths and logs as is.
    if (result.encoding == pugi::encoding_utf8 && !isValidUtf8(bytes)) {
        m_impl->doc.reset();
        return ParseStatus::NotXml;
    }
    std::size_t elements = 0;
    for (pugi::xml_node node : m_impl->doc.children()) {
        if (node.type() == pugi::node_element) {
            ++elements;
        }
    }
    // A second top-level element, or another root, would be kept by a save and the file
    // would then be unreadable (or silently someone else's): such a file is never rewritten.
    if (elements != 1 || !m_impl->root()) {
        return ParseStatus::ForeignRoot;
    }
    return ParseStatus::Parsed;
}

std::string SettingsDocument::serialize() const
{
    StringWriter writer;
    m_impl->doc.save(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
    return std::move(writer.text());
}

std::string SettingsDocument::serializeWithDigest()
{
    storeDigest();
    std::string saved = serialize();
    SettingsDocument reread;
    if (reread.parse(saved) != ParseStatus::Parsed || reread.digestMatches()) {
        return saved;
    }
    reread.storeDigest();
    saved = reread.serialize();
    *this = std::move(reread);
    return saved;
}

bool SettingsDocument::hasRoot() const
{
    return static_cast<bool>(m_impl->root());
}

void SettingsDocument::ensureRoot()
{
    m_impl->ensureRootNode();
}

bool SettingsDocument::hasDrives() const
{
    return static_cast<bool>(m_impl->drives());
}

bool SettingsDocument::hasValue(std::string_view name) const
{
    return static_cast<bool>(m_impl->root().child(z(name).c_str()));
}

std::string SettingsDocument::value(std::string_view name) const
{
    return m_impl->root().child(z(name).c_str()).child_value();
}

void SettingsDocument::setValue(std::string_view name, std::string_view text)
{
    m_impl->ensureValueNode(name).text().set(z(text).c_str());
}

void SettingsDocument::removeValue(std::string_view name)
{
    pugi::xml_node rootNode = m_impl->ensureRootNode();
    rootNode.remove_child(z(name).c_str());
}

std::string SettingsDocument::valueAttribute(std::string_view name, std::string_view attribute) const
{
    return m_impl->root().child(z(name).c_str()).attribute(z(attribute).c_str()).value();
}

void SettingsDocument::setValueAttribute(std::string_view name, std::string_view attribute,
                                         std::string_view text)
{
    pugi::xml_node node = m_impl->ensureValueNode(name);
    const std::string key = z(attribute);
    pugi::xml_attribute attr = node.attribute(key.c_str());
    if (!attr) {
        attr = node.append_attribute(key.c_str());
    }
    attr.set_value(z(text).c_str());
}

std::vector<DriveRecord> SettingsDocument::records() const
{
    std::vector<DriveRecord> list;
    for (pugi::xml_node drive : m_impl->drives().children("drive")) {
        DriveRecord record;
        record.label = drive.attribute("label").value();
        record.folder = drive.attribute("folder").value();
        record.letter = drive.attribute("letter").value();
        record.pwd = drive.attribute("pwd").value();
        record.automount = parseAutomount(drive.attribute("automount").value());
        record.ph = drive.attribute("ph").value();
        list.push_back(std::move(record));
    }
    return list;
}

void SettingsDocument::appendRecord(const DriveRecord& record)
{
    pugi::xml_node drive = m_impl->ensureDrivesNode().append_child("drive");
    drive.append_attribute("label").set_value(record.label.c_str());
    drive.append_attribute("folder").set_value(record.folder.c_str());
    drive.append_attribute("letter").set_value(record.letter.c_str());
    if (!record.pwd.empty()) {
        drive.append_attribute("pwd").set_value(record.pwd.c_str());
    }
    drive.append_attribute("automount").set_value(std::to_string(record.automount).c_str());
    if (!record.ph.empty()) {
        drive.append_attribute("ph").set_value(record.ph.c_str());
    }
}

std::optional<std::string> SettingsDocument::recordAttribute(std::size_t index,
                                                             std::string_view attribute) const
{
    const pugi::xml_attribute attr = m_impl->recordAt(index).attribute(z(attribute).c_str());
    return attr ? std::optional<std::string>(attr.value()) : std::nullopt;
}

bool SettingsDocument::setRecordAttribute(std::size_t index, std::string_view attribute,
                                          std::string_view text)
{
    pugi::xml_node drive = m_impl->recordAt(index);
    if (!drive) {
        return false;
    }
    const std::string key = z(attribute);
    pugi::xml_attribute attr = drive.attribute(key.c_str());
    if (!attr) {
        attr = drive.append_attribute(key.c_str());
    }
    return attr.set_value(z(text).c_str());
}

bool SettingsDocument::removeRecordAttribute(std::size_t index, std::string_view attribute)
{
    return m_impl->recordAt(index).remove_attribute(z(attribute).c_str());
}

bool SettingsDocument::removeRecord(std::size_t index)
{
    const pugi::xml_node drive = m_impl->recordAt(index);
    return drive && m_impl->drives().remove_child(drive);
}

bool SettingsDocument::sameContent(const SettingsDocument& other) const
{
    return sameElements(m_impl->root(), other.m_impl->root());
}

std::string SettingsDocument::computeDigest() const
{
    return crypto::base64UrlEncode(digestOf(m_impl->root()));
}

std::string SettingsDocument::storedDigest() const
{
    return value(kDigestElement);
}

void SettingsDocument::storeDigest()
{
    setValue(kDigestElement, computeDigest());
}

bool SettingsDocument::digestMatches() const
{
    if (!hasValue(kDigestElement)) {
        return false;
    }
    const crypto::SecureBytes stored = crypto::base64UrlDecode(storedDigest());
    const crypto::Sha256Digest computed = digestOf(m_impl->root());
    // Only the first 32 decoded bytes count; a shorter value can never match.
    return stored.size() >= computed.size() && std::equal(computed.begin(), computed.end(), stored.begin());
}

bool isValidXmlName(std::string_view name)
{
    if (name.empty() || name.size() > 256) {
        return false;
    }
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!isLetter(name.front())) {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return isLetter(c) || isDigit(c) || c == '-' || c == '.'; });
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

} // namespace kestrava::settings
