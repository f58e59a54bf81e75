// The activity log: one plain-text running account of what the program does. Lines look like
// "03:07:2026 09:05:03:007 \tReadDriveInfo Item: ..." and end in CR LF; failure messages start
// with "!". Callable from any thread and any process at once.
#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::applog {

inline constexpr std::uintmax_t kRotateAboveBytes = 10'485'760;
inline constexpr std::size_t kMaxMessageCharacters = 255;

struct LogSettings
{
    // Where to write; unset means the program's log path, recomputed for every line.
    std::optional<std::filesystem::path> path;
    // Also copy each message to standard error (the CLI's --verbose).
    bool echo = false;
};

void configureLog(const LogSettings& settings);
void setLogEcho(bool echo);

// Formats like printf and writes one line. False when the log could not be opened; the line
// is then lost and nothing else happens.
bool writeLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool writeLogMessage(std::string_view message);

// The pieces, exposed for testing.
std::string formatLogLine(const std::tm& localTime, int milliseconds, std::string_view message);
std::string cutToCharacters(std::string_view utf8, std::size_t maxCharacters);
std::filesystem::path rotatedLogPath(const std::filesystem::path& logPath);
std::filesystem::path currentLogPath();

} // namespace kestrava::applog

namespace kestrava {
using applog::writeLog;
}
