#include "core/host/RuntimeState.h"

#include "core/util/AtomicFile.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::host {
namespace {

bool isPrivateFolder(const std::filesystem::path& folder)
{
    struct stat st
    {
    };
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

std::optional<std::filesystem::path> ensurePrivateFolder(const std::filesystem::path& folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    return isPrivateFolder(folder) ? std::optional(folder) : std::nullopt;
}

std::string fileStem(const std::filesystem::path& mountPoint)
{
    // FNV-1a: stable across runs and processes, unlike std::hash.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : mountPoint.lexically_normal().string()) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string stem = mountPoint.filename().string();
    if (stem.empty() || stem.size() > 16) {
        stem = "drive";
    }
    stem += '-';
    for (int shift = 60; shift >= 0; shift -= 4) {
        stem += kHex[(hash >> shift) & 0xf];
    }
    return stem;
}

std::string escapeValue(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescapeValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            out += value[i + 1] == 'n' ? '\n' : value[i + 1];
            ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

std::optional<std::filesystem::path> runtimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && isPrivateFolder(runtime)) {
        if (auto folder = ensurePrivateFolder(std::filesystem::path(runtime) / "kestrava")) {
            return folder;
        }
    }
    return ensurePrivateFolder("/tmp/kestrava-" + std::to_string(::geteuid()));
}

std::filesystem::path stateFileFor(const std::filesystem::path& folder,
                                   const std::filesystem::path& mountPoint)
{
    return folder / (fileStem(mountPoint) + ".state");
}

std::filesystem::path lockFileFor(const std::filesystem::path& folder,
                                  const std::filesystem::path& mountPoint)
{
    return folder / (fileStem(mountPoint) + ".lock");
}

std::string formatServeState(const ServeState& state)
{
    return "pid=" + std::to_string(state.pid) + "\nletter=" + escapeValue(state.letter) +
           "\nmountpoint=" + escapeValue(state.mountPoint.string()) +
           "\nfolder=" + escapeValue(state.backingFolder.string()) + "\nlabel=" + escapeValue(state.label) +
           "\n";
}

std::optional<ServeState> parseServeState(std::string_view text)
{
    ServeState state;
    bool havePid = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::string_view line = text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, eq);
        const std::string value = unescapeValue(line.substr(eq + 1));
        if (key == "pid") {
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), state.pid);
            havePid = ec == std::errc() && ptr == value.data() + value.size() && state.pid > 0;
        } else if (key == "letter") {
            state.letter = value;
        } else if (key == "mountpoint") {
            state.mountPoint = value;
        } else if (key == "folder") {
            state.backingFolder = value;
        } else if (key == "label") {
            state.label = value;
        }
    }
    if (!havePid || state.mountPoint.empty()) {
        return std::nullopt;
    }
    return state;
}

bool writeServeState(const std::filesystem::path& file, const ServeState& state)
{
    return util::writeFileAtomically(file, formatServeState(state), 0600).ok;
}

std::optional<ServeState> readServeState(const std::filesystem::path& file)
{
    std::string text;
    std::string error;
    if (!util::readSmallFile(file, 64 * 1024, text, error)) {
        return std::nullopt;
    }
    return parseServeState(text);
}

ServeLock::ServeLock(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        m_error = errno;
        ::close(fd);
        return;
    }
    m_fd = fd;
}

ServeLock::~ServeLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool isLockHeld(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace kestrava::host
