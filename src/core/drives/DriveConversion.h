// Converting a drive into a new drive of another format: every entry is copied through both
// drives' handlers (no mount needed), every file is read back from the new drive and compared,
// and only then does the new folder get its token under the real name. The source folder is
// only ever read. Interrupted at any point, the new folder holds no token (so nothing takes it
// for a drive) or a complete, verified drive.
#pragma once

#include "core/token/DriveContext.h"
#include "core/token/DriveFormat.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava::drives {

// The token's name in the new folder until the copy is verified.
inline constexpr const char* kConversionTokenName = ".qxsession.xml.converting";

struct ConversionCounts
{
    std::uint64_t directories = 0;
    std::uint64_t files = 0;
    std::uint64_t links = 0;
    std::uint64_t others = 0; // FIFOs, sockets, device nodes
    std::uint64_t bytes = 0;
};

struct ConversionResult
{
    bool ok = false;
    std::string error; // what failed, with the plain path where there is one
    ConversionCounts counts;
};

// Called after each named step ("token-written", "copied", "verified", "token-placed").
using ConversionStepHook = std::function<void(std::string_view step)>;

// source: an unlocked drive (its backing folder set). target: a folder that does not exist
// yet or is empty. The new drive gets the source's password and name options in `format`.
ConversionResult convertDrive(const token::DriveContext& source, const std::filesystem::path& target,
                              token::DriveFormat format, const ConversionStepHook& hook = {});

} // namespace kestrava::drives
