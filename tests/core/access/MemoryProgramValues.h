// Program values in memory, counting write cycles; can pretend the file is unreadable.
#pragma once

#include "core/access/ProgramValues.h"

#include <map>
#include <string>

namespace kestrava::test {

class MemoryProgramValues : public ProgramValues
{
public:
    struct Element
    {
        std::string text;
        std::map<std::string, std::string> attributes;
    };

    std::map<std::string, Element, std::less<>> elements;
    bool unreadable = false;
    int writes = 0;

    bool readable() override { return !unreadable; }
    std::optional<std::string> get(std::string_view name) override
    {
        if (unreadable) {
            return std::nullopt;
        }
        const auto it = elements.find(name);
        return it == elements.end() ? std::string() : it->second.text;
    }
    bool has(std::string_view name) override { return !unreadable && elements.find(name) != elements.end(); }
    std::string attribute(std::string_view name, std::string_view attribute) override
    {
        const auto it = elements.find(name);
        if (unreadable || it == elements.end()) {
            return {};
        }
        const auto a = it->second.attributes.find(std::string(attribute));
        return a == it->second.attributes.end() ? std::string() : a->second;
    }
    bool apply(const std::vector<ProgramValueChange>& changes) override
    {
        if (unreadable) {
            return false;
        }
        ++writes;
        for (const auto& change : changes) {
            if (!change.text) {
                elements.erase(change.name);
                continue;
            }
            Element& element = elements[change.name];
            element.text = *change.text;
            for (const auto& [key, value] : change.attributes) {
                element.attributes[key] = value;
            }
        }
        return true;
    }
};

} // namespace kestrava::test
