// The first-run tasks of "/runonce", left for the program by its installer.
#pragma once

namespace kestrava {
class ProgramValues;
}
namespace kestrava::settings {
class UserRegistry;
}

namespace kestrava::update {

// An installer that was told to turn on automatic updates leaves "AutoUpdate" = "1" in the
// registry: it becomes "AutoUpdate" = "Y" in the settings file, and the registry value goes.
// True when the value was carried over.
bool carryOverInstallerAutoUpdate(settings::UserRegistry& registry, ProgramValues& values);

} // namespace kestrava::update
