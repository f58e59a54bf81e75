#include "gui/StartSwitches.h"

namespace kestrava::gui {

StartSwitches parseStartSwitches(const QStringList& args)
{
    const QString commandLine = args.join(QLatin1Char(' '));
    const auto given = [&](const char* slashForm, const char* longForm) {
        return commandLine.contains(QLatin1String(slashForm), Qt::CaseSensitive) ||
               args.contains(QLatin1String(longForm), Qt::CaseSensitive);
    };
    StartSwitches switches;
    switches.installDriver = given("/installdrv", "--install-fuse");
    switches.removeDriver = given("/removedrv", "--remove-fuse");
    switches.runOnce = given("/runonce", "--run-once");
    switches.minimized = given("/min", "--minimized");
    return switches;
}

} // namespace kestrava::gui
