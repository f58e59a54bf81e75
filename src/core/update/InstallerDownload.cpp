#include "core/update/InstallerDownload.h"

#include "core/update/CodeSignature.h"
#include "core/update/UpdateCheck.h"
#include "core/util/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kestrava::update {
namespace {

constexpr std::size_t kMaxSignatureBytes = 65536;

// A new file of our own at path: whatever had the name is removed first (a link planted there is
// removed, not followed), and a name we may not remove makes this fail.
int createOwnFile(const std::filesystem::path& path, mode_t mode, std::string& error)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = "cannot replace " + path.string() + ": " + std::strerror(errno);
        return -1;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
    }
    return fd;
}

// The signature file beside the installer. Without one the installer fails its check later, so
// a failure here is not a failed download; an old signature file never stays behind.
void fetchSignature(HttpClient& http, const std::string& url, const std::filesystem::path& path)
{
    std::string text;
    std::string error;
    ::unlink(path.c_str());
    if (!http.fetchText(url, kMaxSignatureBytes, text).ok()) {
        return;
    }
    const int fd = createOwnFile(path, 0600, error);
    if (fd < 0) {
        return;
    }
    const bool written = util::writeAll(fd, text);
    if (::close(fd) != 0 || !written) {
        ::unlink(path.c_str());
    }
}

} // namespace

std::string installerFileName(std::string_view version)
{
    return "kestrava_" + std::string(version) + "_setup.run";
}

std::filesystem::path temporaryFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::error_code error;
    if (tmp != nullptr && *tmp != '\0' && std::filesystem::is_directory(tmp, error)) {
        return tmp;
    }
    return "/tmp";
}

std::optional<int> DownloadProgress::percent() const
{
    if (!total || *total == 0) {
        return std::nullopt;
    }
    return static_cast<int>(std::min<std::uint64_t>(written * 100 / *total, 100));
}

DownloadOutcome downloadInstaller(HttpClient& http, std::string_view baseUrl, std::string_view version,
                                  const std::filesystem::path& folder, const ProgressSink& progress)
{
    DownloadOutcome outcome;
    const std::string name = installerFileName(version);
    outcome.file = folder / name;
    // Executable by its owner only: it is run once its signature checks out.
    const int fd = createOwnFile(outcome.file, 0700, outcome.error);
    if (fd < 0) {
        return outcome;
    }
    DownloadProgress state;
    const auto report = [&] {
        if (progress) {
            progress(state);
        }
    };
    outcome.http = http.download(
        updateFileUrl(baseUrl, name),
        [&](std::optional<std::uint64_t> length) {
            state.total = length;
            report();
        },
        [&](std::string_view piece) {
            report();
            if (!util::writeAll(fd, piece)) {
                outcome.error = "cannot write " + outcome.file.string() + ": " + std::strerror(errno);
                return false;
            }
            state.written += piece.size();
            return true;
        });
    const bool closed = ::close(fd) == 0;
    if (!outcome.http.ok() || !outcome.error.empty()) {
        return outcome;
    }
    if (!closed) {
        outcome.error = "cannot write " + outcome.file.string() + ": " + std::strerror(errno);
        return outcome;
    }
    report(); // the end: 100% when the announced length was right
    fetchSignature(http, updateFileUrl(baseUrl, name + std::string(kSignatureSuffix)),
                   signaturePathFor(outcome.file));
    outcome.ok = true;
    return outcome;
}

std::string describeDownloadFailure(const DownloadOutcome& outcome)
{
    if (!outcome.error.empty()) {
        return outcome.error;
    }
    return describeHttpError(outcome.http);
}

} // namespace kestrava::update
