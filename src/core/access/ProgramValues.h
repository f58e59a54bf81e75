// The settings file's program values (children of the root) as the program lock reads and
// writes them. The settings store implements this over the file; tests use a map.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava {

// One change of a write cycle: set the value's text (and attributes), or remove the value.
struct ProgramValueChange
{
    std::string name;
    std::optional<std::string> text; // nothing removes the element
    std::vector<std::pair<std::string, std::string>> attributes;
};

class ProgramValues
{
public:
    virtual ~ProgramValues() = default;

    // Whether the settings file loads and has its root; every read below fails otherwise.
    virtual bool readable() = 0;
    // The text of a value: nothing when the file cannot be read, empty when the value is absent.
    virtual std::optional<std::string> get(std::string_view name) = 0;
    // Whether the value's element exists (false when the file cannot be read).
    virtual bool has(std::string_view name) = 0;
    // An attribute of the value's element; empty when absent or unreadable.
    virtual std::string attribute(std::string_view name, std::string_view attribute) = 0;

    // One write cycle (load, change, save, rewrite the digest); a missing file is created.
    // False, with the file untouched, when it exists but cannot be loaded or saved.
    virtual bool apply(const std::vector<ProgramValueChange>& changes) = 0;

    bool set(std::string_view name, std::string_view text)
    {
        return apply({{std::string(name), std::string(text), {}}});
    }
    bool remove(std::string_view name) { return apply({{std::string(name), std::nullopt, {}}}); }
};

} // namespace kestrava
