#include "core/update/RunOnce.h"

#include "core/access/ProgramValues.h"
#include "core/app/ActivityLog.h"
#include "core/settings/UserRegistry.h"

namespace kestrava::update {

bool carryOverInstallerAutoUpdate(settings::UserRegistry& registry, ProgramValues& values)
{
    const auto value = registry.readValue(settings::kRegistryGroup, settings::kAutoUpdateKey);
    if (!value || *value != "1") {
        return false;
    }
    // The registry value goes only once the settings file holds the choice.
    if (!values.set("AutoUpdate", "Y")) {
        writeLog("!runonce: AutoUpdate could not be written to the settings file");
        return false;
    }
    registry.deleteValue(settings::kRegistryGroup, settings::kAutoUpdateKey);
    writeLog("runonce: AutoUpdate enabled");
    return true;
}

} // namespace kestrava::update
