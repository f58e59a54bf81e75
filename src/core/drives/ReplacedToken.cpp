#include "core/drives/ReplacedToken.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/fs/PathMapper.h"
#include "core/token/DriveContext.h"
#include "core/util/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::drives {
namespace {

// Anything larger is not a token, but it is still not ours to destroy: the copy fails.
constexpr std::size_t kMaxKeptBytes = 1024 * 1024;
constexpr int kMaxAttempts = 100;

// Writes contents to a file that must not exist yet. EEXIST in error: try another name.
bool writeNewFile(const std::filesystem::path& path, std::string_view contents, int& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = errno;
        return false;
    }
    const bool written = ::fchmod(fd, 0600) == 0 && util::writeAll(fd, contents) && ::fsync(fd) == 0;
    error = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

void syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool keepFailed(Prompter& prompter, const std::filesystem::path& tokenPath, const std::string& reason)
{
    writeLog("!KeepReplacedToken: %s - %s", tokenPath.c_str(), reason.c_str());
    prompter.messageBox(kMsgTokenKeepFailed, {tokenPath.string(), reason}, Buttons::OK, Icon::Error);
    return false;
}

} // namespace

std::string replacedTokenName(const std::tm& when, int attempt)
{
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &when);
    std::string name = std::string(fs::kReplacedTokenPrefix) + stamp;
    if (attempt > 1) {
        name += "-" + std::to_string(attempt);
    }
    return name;
}

bool keepReplacedToken(Prompter& prompter, const std::filesystem::path& folder)
{
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(tokenPath, ec))) {
        return true; // a missing token, or a folder in its place, holds no key to lose
    }
    std::string contents;
    std::string error;
    if (!util::readSmallFile(tokenPath, kMaxKeptBytes, contents, error)) {
        return keepFailed(prompter, tokenPath, error);
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const std::filesystem::path kept = folder / replacedTokenName(local, attempt);
        int failure = 0;
        if (writeNewFile(kept, contents, failure)) {
            syncFolder(folder);
            writeLog("KeepReplacedToken: %s -> %s", tokenPath.c_str(), kept.c_str());
            prompter.messageBox(kMsgTokenKept, {kept.string()}, Buttons::OK, Icon::Information);
            return true;
        }
        if (failure != EEXIST) {
            return keepFailed(prompter, tokenPath, std::strerror(failure));
        }
    }
    return keepFailed(prompter, tokenPath, loadAppString(kReasonNoFreeName));
}

} // namespace kestrava::drives
