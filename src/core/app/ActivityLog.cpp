#include "core/app/ActivityLog.h"

#include "core/settings/Paths.h"
#include "core/util/AtomicFile.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrava::applog {
namespace {

std::mutex g_mutex; // one line at a time within the process; flock() across processes
LogSettings g_settings;

int openLocked(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            return -1;
        }
        ::flock(fd, LOCK_EX);
        // Another process may have rotated the file between our open and our lock.
        struct stat opened
        {
        };
        struct stat named
        {
        };
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev) {
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

void localNow(std::tm& local, int& milliseconds)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    ::localtime_r(&seconds, &local);
    milliseconds = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
}

} // namespace

void configureLog(const LogSettings& settings)
{
    std::lock_guard lock(g_mutex);
    g_settings = settings;
}

void setLogEcho(bool echo)
{
    std::lock_guard lock(g_mutex);
    g_settings.echo = echo;
}

std::filesystem::path currentLogPath()
{
    std::lock_guard lock(g_mutex);
    return g_settings.path ? *g_settings.path : paths::logFilePath();
}

std::filesystem::path rotatedLogPath(const std::filesystem::path& logPath)
{
    std::string text = logPath.string();
    if (text.size() >= 4) {
        text.resize(text.size() - 4); // drop ".log"
    }
    return text + "-old.log";
}

std::string cutToCharacters(std::string_view utf8, std::size_t maxCharacters)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte & 0xC0) != 0x80) { // a character starts here
            if (characters == maxCharacters) {
                return std::string(utf8.substr(0, i));
            }
            ++characters;
        }
    }
    return std::string(utf8);
}

std::string formatLogLine(const std::tm& localTime, int milliseconds, std::string_view message)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%04d %02d:%02d:%02d:%03d \t", localTime.tm_mon + 1,
                  localTime.tm_mday, localTime.tm_year + 1900, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec, milliseconds);
    std::string line = stamp;
    line += cutToCharacters(message, kMaxMessageCharacters);
    line += "\r\n";
    return line;
}

bool writeLogMessage(std::string_view message)
{
    std::lock_guard lock(g_mutex);
    const std::filesystem::path path = g_settings.path ? *g_settings.path : paths::logFilePath();
    if (path.empty()) {
        return false;
    }
    int fd = openLocked(path);
    if (fd < 0) {
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > kRotateAboveBytes) {
        // Rotate while holding the lock; if the rename fails the log keeps growing and the
        // next line tries again.
        if (::rename(path.c_str(), rotatedLogPath(path).c_str()) == 0) {
            ::close(fd);
            fd = openLocked(path);
            if (fd < 0) {
                return false;
            }
        }
    }
    std::tm local{};
    int milliseconds = 0;
    localNow(local, milliseconds);
    const std::string line = formatLogLine(local, milliseconds, message);
    if (g_settings.echo) {
        std::fprintf(stderr, "%s\n", cutToCharacters(message, kMaxMessageCharacters).c_str());
    }
    const bool written = util::writeAll(fd, line); // one write of a whole line, O_APPEND
    ::close(fd);                                   // also releases the lock
    return written;
}

bool writeLog(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        message.assign(buffer.data(), static_cast<std::size_t>(needed));
    }
    va_end(args);
    return writeLogMessage(message);
}

} // namespace kestrava::applog
