// The settings document in memory: the root "Kestrava" with its program values (child
// elements whose text is the value), the drive records ("drives"/"drive" attributes) and the
// integrity digest. Parsing and saving keep the file's fixed shape: UTF-8 with a declaration,
// one tab per level of indentation.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::settings {

inline constexpr std::string_view kRootElement = "Kestrava";
inline constexpr std::string_view kDrivesElement = "drives";
inline constexpr std::string_view kDriveElement = "drive";
inline constexpr std::string_view kDigestElement = "digest";

// One "drive" element. Attributes absent in the file read as empty (automount as 0).
struct DriveRecord
{
    std::string label;
    std::string folder; // backing folder, no trailing separator
    std::string letter; // "E:"
    std::string pwd;    // protected form of the drive password; empty when not remembered
    int automount = 0;  // 1 mounts the drive at start
    std::string ph;     // password hint; written only when non-empty
};

enum class ParseStatus
{
    Parsed,
    NotXml,      // not well-formed, no element, or not valid UTF-8
    ForeignRoot, // well-formed, but the top level is not exactly one "Kestrava" element
};

class SettingsDocument
{
public:
    SettingsDocument();
    ~SettingsDocument();
    SettingsDocument(SettingsDocument&&) noexcept;
    SettingsDocument& operator=(SettingsDocument&&) noexcept;
    SettingsDocument(const SettingsDocument&) = delete;
    SettingsDocument& operator=(const SettingsDocument&) = delete;

    // A new document: root "Kestrava" with an empty "drives".
    static SettingsDocument makeEmpty();
    ParseStatus parse(std::string_view bytes);
    // The saved form: tab indentation, UTF-8 with declaration, no byte-order mark.
    std::string serialize() const;
    // The saved form with a fresh digest that matches the file as it will be read back.
    // Saving can change a value's text (a hand-edited value split by a comment is joined), so
    // the digest is computed on the saved form read again, as a separate load would see it.
    std::string serializeWithDigest();

    bool hasRoot() const;
    void ensureRoot();
    bool hasDrives() const;

    // Program values: the text of the root's child element name.
    bool hasValue(std::string_view name) const;
    std::string value(std::string_view name) const; // empty when absent
    void setValue(std::string_view name, std::string_view text);
    void removeValue(std::string_view name);
    std::string valueAttribute(std::string_view name, std::string_view attribute) const;
    void setValueAttribute(std::string_view name, std::string_view attribute, std::string_view text);

    // Drive records in document order.
    std::vector<DriveRecord> records() const;
    void appendRecord(const DriveRecord& record);
    // Attribute access by position in records(); false when index or attribute is absent.
    std::optional<std::string> recordAttribute(std::size_t index, std::string_view attribute) const;
    bool setRecordAttribute(std::size_t index, std::string_view attribute, std::string_view text);
    bool removeRecordAttribute(std::size_t index, std::string_view attribute);
    bool removeRecord(std::size_t index);

    // Whether both hold the same elements, attributes and texts (layout aside).
    bool sameContent(const SettingsDocument& other) const;

    // The integrity digest over the values that matter for security, base64url of SHA-256.
    std::string computeDigest() const;
    std::string storedDigest() const;
    void storeDigest();
    bool digestMatches() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A name usable as an element or attribute name (letters, digits, "_", "-", "." and no
// leading digit, "-" or "."); anything else would make the saved file unreadable.
bool isValidXmlName(std::string_view name);

// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

} // namespace kestrava::settings
