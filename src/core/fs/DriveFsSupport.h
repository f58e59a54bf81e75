// Pieces shared by the handler files of DriveFs; not part of its interface.
#pragma once

#include "core/app/ActivityLog.h"
#include "core/fs/DriveFs.h"
#include "core/fs/FsError.h"

#include <new>
#include <stdexcept>

namespace kestrava::fs {

// Every handler runs its body here: errors become negative errno values, and anything
// unexpected becomes EIO with a log line, so nothing escapes to the caller.
template <class F> auto DriveFs::run(const char* op, F&& body) -> decltype(body())
{
    using Result = decltype(body());
    try {
        return body();
    } catch (const FsError& e) {
        return static_cast<Result>(-e.error());
    } catch (const std::bad_alloc&) {
        return static_cast<Result>(-ENOMEM);
    } catch (const std::exception& e) {
        writeLog("!DriveFs %s: %s", op, e.what());
        return static_cast<Result>(-EIO);
    }
}

// The token file in the root of the drive, which the drive itself needs.
bool isRootToken(std::string_view path);

// Nothing done through the drive may change the root's token: it would no longer open.
void refuseTokenChange(std::string_view path);

// Whether an entry keeps its contents (and extended attribute values) as they are: the token,
// and token-named files below the root written so by older builds or other implementations.
// The rule follows the stored name, so both kinds keep reading back as they were written.
bool storesPlainContents(const BackingLocation& loc);

// A rename or link may not move contents between a plainly stored name and an encrypted one:
// the bytes would be read the other way. EXDEV makes programs copy instead.
void requireSameContentForm(const BackingLocation& source, const BackingLocation& target);

// Rejects offsets and lengths a 64-bit file offset cannot hold.
void requireRange(off_t offset, std::size_t length);

} // namespace kestrava::fs
