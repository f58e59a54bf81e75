// The program lock's view of the settings file: its program values, read and changed through
// the same locked cycles as every other settings operation.
#pragma once

#include "core/access/ProgramValues.h"
#include "core/settings/SettingsFile.h"

namespace kestrava::settings {

class SettingsProgramValues : public ProgramValues
{
public:
    explicit SettingsProgramValues(const SettingsFile& file) : m_file(file) {}

    bool readable() override;
    std::optional<std::string> get(std::string_view name) override;
    bool has(std::string_view name) override;
    std::string attribute(std::string_view name, std::string_view attribute) override;
    bool apply(const std::vector<ProgramValueChange>& changes) override;

private:
    const SettingsFile& m_file;
};

} // namespace kestrava::settings
