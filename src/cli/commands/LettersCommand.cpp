#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "core/drives/FreeLetters.h"
#include "core/host/DriveHost.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgNoFreeLetters = 345;

// The letters a new drive may take, one per line, the highest (the one proposed) last.
class LettersCommand : public Command
{
public:
    std::string name() const override { return "letters"; }
    std::string summary() const override { return "list the free drive letters, the highest last"; }
    std::string usage() const override { return "letters"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (!args.positional.empty()) {
            return usageError(context.io, "letters: takes no arguments");
        }
        const std::shared_ptr<host::DriveHost> host =
            context.makeHost ? context.makeHost(context.globals) : nullptr;
        if (!host) {
            return fail(context.io, "this build of kestrava-cli cannot mount drives (no FUSE host)");
        }
        const auto letters = drives::freeDriveLetters(*host);
        if (letters.empty()) {
            return failWithMessage(context.io, kMsgNoFreeLetters);
        }
        for (const std::string& letter : letters) {
            context.io.out << letter << "\n";
        }
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeLettersCommand()
{
    return std::make_unique<LettersCommand>();
}

} // namespace kestrava::cli
