#include "cli/commands/Commands.h"
#include "core/drives/CloudFolders.h"

#include <ostream>

namespace kestrava::cli {
namespace {

// One line per cloud client: name, then the backing folder and label a new drive there would
// get, tab-separated; or "not found".
class CloudsCommand : public Command
{
public:
    std::string name() const override { return "clouds"; }
    std::string summary() const override
    {
        return "list the cloud clients' folders found here, with the folder and label each proposes";
    }
    std::string usage() const override { return "clouds"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (!args.positional.empty()) {
            return usageError(context.io, "clouds: takes no arguments");
        }
        for (const drives::CloudProvider provider : drives::kCloudProviders) {
            context.io.out << drives::cloudProviderName(provider) << "\t";
            if (const auto location = drives::wizardLocation(provider)) {
                context.io.out << location->folder << "\t" << location->label << "\n";
            } else {
                context.io.out << "not found\n";
            }
        }
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeCloudsCommand()
{
    return std::make_unique<CloudsCommand>();
}

} // namespace kestrava::cli
