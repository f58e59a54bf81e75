#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "core/token/HardenedToken.h"
#include "core/token/TokenDocument.h"
#include "core/util/AtomicFile.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgReadImportFailed = 28;
constexpr std::size_t kMaxTokenBytes = 64 * 1024;

const char* onOff(bool on)
{
    return on ? "on" : "off";
}

class InfoCommand : public Command
{
public:
    std::string name() const override { return "info"; }
    std::string summary() const override { return "show a security token's settings (asks no password)"; }
    std::string usage() const override { return "info FOLDER"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        ExitCode exitCode = ExitCode::Success;
        const auto folder = folderArgument(context, args, exitCode);
        if (!folder) {
            return exitCode;
        }
        if (const auto problem = tokenProblem(*folder)) {
            return fail(context.io, *problem);
        }
        const std::filesystem::path tokenPath = token::tokenPathFor(*folder);
        std::string xml;
        std::string error;
        token::TokenFields fields;
        if (!util::readSmallFile(tokenPath, kMaxTokenBytes, xml, error)) {
            return failWithMessage(context.io, kMsgReadImportFailed, {tokenPath.string() + ": " + error});
        }
        std::ostream& out = context.io.out;
        token::HardenedFields hardened;
        if (token::isHardenedTokenText(xml)) {
            if (!token::parseHardenedToken(xml, hardened, error)) {
                return failWithMessage(context.io, kMsgReadImportFailed, {tokenPath.string() + ": " + error});
            }
            out << "version: " << token::kHardenedTokenVersion << "\n"
                << "format: hardened\n"
                << "kdf: scrypt N=" << hardened.scrypt.cost << " r=" << hardened.scrypt.blockSize
                << " p=" << hardened.scrypt.parallel << "\n"
                << "file name encryption: " << onOff(hardened.options.fileNameEncryption) << "\n"
                << "long file names: " << onOff(hardened.options.longFileNames) << "\n"
                << "case-insensitive names: " << onOff(hardened.options.caseInsensitive) << "\n";
            return ExitCode::Success;
        }
        if (!token::parseTokenDocument(xml, fields, error)) {
            return failWithMessage(context.io, kMsgReadImportFailed, {tokenPath.string() + ": " + error});
        }
        out << "version: " << fields.version << "\n"
            << "format: compatible\n"
            << "legacy: " << (fields.isLegacy() ? "yes" : "no") << "\n"
            << "key size: " << fields.keySize << "\n"
            << "kdf iterations: " << fields.kdfIterations << "\n"
            << "kdf duration: " << fields.kdfDuration << "\n"
            << "file name encryption: " << onOff(fields.fileNameEncryption) << "\n"
            << "long file names: " << onOff(fields.longFileName) << "\n"
            << "case-insensitive names: " << onOff(fields.caseInsensitive) << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeInfoCommand()
{
    return std::make_unique<InfoCommand>();
}

} // namespace kestrava::cli
