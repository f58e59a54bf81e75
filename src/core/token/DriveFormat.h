// The two ways a drive can store its files. Compatible drives open on other operating systems
// too; hardened drives authenticate every block and name and derive their key memory-hard.
#pragma once

#include <optional>
#include <string_view>

namespace kestrava::token {

enum class DriveFormat
{
    Compatible,
    Hardened,
};

// "compatible" / "hardened", as the command line and listings spell them.
std::string_view formatName(DriveFormat format);
std::optional<DriveFormat> parseFormatName(std::string_view name);

} // namespace kestrava::token
