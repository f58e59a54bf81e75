#include "cli/commands/Commands.h"
#include "core/prefs/AutoLock.h"
#include "fuse/DriveServer.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace kestrava::cli {
namespace {

std::optional<int> fdValue(const ParsedArguments& args, const std::string& name)
{
    const auto text = args.value(name);
    if (!text) {
        return -1;
    }
    int fd = -1;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), fd);
    if (ec != std::errc() || end != text->data() + text->size() || fd < 0) {
        return std::nullopt;
    }
    return fd;
}

// The serving mode: started by the drive host (mount), one process per mounted drive. Not
// listed in the help; its arguments are an interface between kestrava-cli and itself.
class ServeCommand : public Command
{
public:
    std::string name() const override { return "serve"; }
    std::string summary() const override { return {}; }
    std::string usage() const override
    {
        return "serve --folder=DIR --letter=K: --mount-point=DIR --password-fd=N [--ready-fd=N] "
               "[--label=TEXT]\n"
               "       [--foreground] [--allow-other] [--single-thread] [--debug] [--idle-timeout=MIN "
               "[--idle-detach]]\n\n"
               "Serves one drive until it is unmounted (the serving process that 'mount' starts).\n"
               "The drive password (64 hexadecimal characters) is read from descriptor N.";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"folder", true, "DIR", "the drive's backing folder"},
            {"letter", true, "K:", "the drive's letter"},
            {"mount-point", true, "DIR", "an empty folder to mount the drive at"},
            {"label", true, "TEXT", "the drive's label, shown in the mount table"},
            {"password-fd", true, "N", "read the drive password from this descriptor"},
            {"ready-fd", true, "N", "report 'ready' or 'error KIND DETAIL' on this descriptor"},
            {"foreground", false, "", "stay attached to the terminal"},
            {"allow-other", false, "", "let other users use the drive"},
            {"single-thread", false, "", "serve every request on one thread (debugging)"},
            {"debug", false, "", "trace every FUSE request on standard error (implies --foreground)"},
            {"idle-timeout", true, "MIN", "unmount the drive after MIN minutes without a request"},
            {"idle-detach", false, "", "...and detach it even while programs hold files on it"},
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        fuse::ServeRequest request;
        const auto passwordFd = fdValue(args, "password-fd");
        const auto readyFd = fdValue(args, "ready-fd");
        if (!args.value("folder") || !args.value("mount-point") || !passwordFd || !readyFd ||
            *passwordFd < 0) {
            return usageError(context.io, "serve needs --folder, --mount-point and --password-fd");
        }
        request.backingFolder = *args.value("folder");
        request.mountPoint = *args.value("mount-point");
        request.letter = args.value("letter").value_or(std::string());
        request.label = args.value("label").value_or(std::string());
        request.passwordFd = *passwordFd;
        request.statusFd = *readyFd;
        request.debug = args.has("debug");
        request.foreground = args.has("foreground") || request.debug;
        request.allowOther = args.has("allow-other");
        request.singleThread = args.has("single-thread");
        if (const auto idle = args.value("idle-timeout")) {
            const auto minutes = prefs::parseIdleMinutes(*idle);
            if (!minutes) {
                return usageError(context.io, "serve: --idle-timeout takes whole minutes from 0 to 1440");
            }
            // Tests shorten the minute (KESTRAVA_IDLE_MINUTE_SECONDS) to see a drive let go.
            long minute = 60;
            if (const char* unit = std::getenv("KESTRAVA_IDLE_MINUTE_SECONDS");
                unit != nullptr && std::atol(unit) > 0) {
                minute = std::atol(unit);
            }
            request.idleTimeout = std::chrono::seconds(static_cast<long>(*minutes) * minute);
        }
        request.idleDetach = args.has("idle-detach");
        // Tuning and debugging aid: the number of serving threads (1: the single-threaded loop).
        if (const char* threads = std::getenv("KESTRAVA_FUSE_THREADS");
            threads != nullptr && *threads != '\0') {
            const int count = std::atoi(threads);
            request.singleThread = request.singleThread || count == 1;
            request.maxThreads = count > 1 ? static_cast<unsigned int>(count) : request.maxThreads;
        }
        return fuse::serveDrive(request) == 0 ? ExitCode::Success : ExitCode::Failure;
    }
};

} // namespace

std::unique_ptr<Command> makeServeCommand()
{
    return std::make_unique<ServeCommand>();
}

} // namespace kestrava::cli
