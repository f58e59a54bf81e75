#include "core/settings/SettingsProgramValues.h"

#include "core/app/ActivityLog.h"

namespace kestrava::settings {
namespace {

bool hasRoot(const LoadedSettings& loaded)
{
    return loaded.status == LoadStatus::Loaded && loaded.document.hasRoot();
}

bool storable(const ProgramValueChange& change)
{
    if (!isValidXmlName(change.name) || (change.text && !isValidUtf8(*change.text))) {
        return false;
    }
    for (const auto& [attribute, text] : change.attributes) {
        if (!isValidXmlName(attribute) || !isValidUtf8(text)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool SettingsProgramValues::readable()
{
    return hasRoot(m_file.load());
}

std::optional<std::string> SettingsProgramValues::get(std::string_view name)
{
    const LoadedSettings loaded = m_file.load();
    if (!hasRoot(loaded)) {
        return std::nullopt;
    }
    return loaded.document.value(name);
}

bool SettingsProgramValues::has(std::string_view name)
{
    const LoadedSettings loaded = m_file.load();
    return hasRoot(loaded) && loaded.document.hasValue(name);
}

std::string SettingsProgramValues::attribute(std::string_view name, std::string_view attribute)
{
    const LoadedSettings loaded = m_file.load();
    return hasRoot(loaded) ? loaded.document.valueAttribute(name, attribute) : std::string();
}

bool SettingsProgramValues::apply(const std::vector<ProgramValueChange>& changes)
{
    for (const ProgramValueChange& change : changes) {
        if (!storable(change)) {
            writeLog("!SettingsProgramValues: refused a name or value that cannot be stored");
            return false;
        }
    }
    return m_file.update(
        [&](SettingsDocument& document) {
            for (const ProgramValueChange& change : changes) {
                if (!change.text) {
                    document.removeValue(change.name);
                    continue;
                }
                document.setValue(change.name, *change.text);
                for (const auto& [attribute, text] : change.attributes) {
                    document.setValueAttribute(change.name, attribute, text);
                }
            }
            return Change::Save;
        },
        true);
}

} // namespace kestrava::settings
