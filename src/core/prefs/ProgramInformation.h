// The settings window's program information: the program's version and whether FUSE is there,
// with the version the system reports for it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::prefs {

inline constexpr int kTextProgramVersion = 95; // "Harbrook Kestrava v%s"
inline constexpr int kTextFuseInstalled = 20;  // "FUSE: Installed (v%d.%d.%d.%d)"
inline constexpr int kTextFuseMissing = 21;

using FuseVersion = std::array<int, 4>;

// The version in fusermount3's answer to -V ("fusermount3 version: 3.14.0"); missing parts are 0.
std::optional<FuseVersion> parseFusermountVersion(std::string_view output);

// FUSE's version when it is usable here (fusermount3 -V), else nothing.
std::optional<FuseVersion> installedFuseVersion();

// Text 95 with the program's version, a blank line, then text 20 with the FUSE version or 21.
std::string programInformationText(std::string_view programVersion, const std::optional<FuseVersion>& fuse);

} // namespace kestrava::prefs
