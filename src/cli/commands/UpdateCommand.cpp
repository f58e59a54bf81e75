#include "cli/PasswordInput.h"
#include "cli/TerminalPrompter.h"
#include "cli/commands/Commands.h"
#include "core/access/ProgramValues.h"
#include "core/update/ProgramUpdate.h"

#include <iostream>
#include <unistd.h>

namespace kestrava::cli {
namespace {

constexpr int kBarWidth = 40;
constexpr std::uint64_t kByteStep = 65536;

// The download's progress on the terminal: a bar with the percentage, or the bytes received when
// the server sent no length. Only where standard error is a terminal; elsewhere nothing.
class TerminalProgress : public update::DownloadWindow
{
public:
    explicit TerminalProgress(std::ostream& err) : m_err(err) {}

    void open(const std::string& version) override
    {
        m_err << "Downloading Kestrava " << version << "...\n";
        m_shown = -1;
    }

    void progress(const update::DownloadProgress& progress) override
    {
        if (const auto percent = progress.percent()) {
            if (*percent == m_shown) {
                return;
            }
            m_shown = *percent;
            const int filled = *percent * kBarWidth / 100;
            m_err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << *percent << "%"
                  << std::flush;
            return;
        }
        if (progress.written / kByteStep != m_bytesShown / kByteStep || progress.written == 0) {
            m_bytesShown = progress.written;
            m_err << "\r" << progress.written << " bytes" << std::flush;
        }
    }

    void close() override { m_err << "\n"; }

private:
    std::ostream& m_err;
    int m_shown = -1;
    std::uint64_t m_bytesShown = 0;
};

// A run asked for by hand reads no settings ("AutoUpdate" gates only the automatic check).
class NoProgramValues : public ProgramValues
{
public:
    bool readable() override { return false; }
    std::optional<std::string> get(std::string_view) override { return std::nullopt; }
    bool has(std::string_view) override { return false; }
    std::string attribute(std::string_view, std::string_view) override { return {}; }
    bool apply(const std::vector<ProgramValueChange>&) override { return false; }
};

bool stderrIsTerminal(const Io& io)
{
    return &io.err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
}

class UpdateCommand : public Command
{
public:
    std::string name() const override { return "update"; }
    std::string summary() const override
    {
        return "check for a newer Kestrava, or download and verify its installer";
    }
    std::string usage() const override { return "update --check | --download [DIR] [--run] [--url URL]"; }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"check", false, "", "print the newer version, or \"no update\""},
            {"download", false, "",
             "download the newer version's installer into DIR (default: the temporary folder) and verify "
             "its signature"},
            {"run", false, "", "start the verified installer"},
            {"url", true, "URL", "the update site's base address for this run"},
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        Io& io = context.io;
        const bool check = args.has("check");
        const bool download = args.has("download");
        if (check == download) {
            return usageError(io, "update: give --check or --download");
        }
        if (args.has("run") && !download) {
            return usageError(io, "update: --run goes with --download");
        }
        if (args.positional.size() > (download ? 1u : 0u)) {
            return usageError(io, "update: unexpected argument '" + args.positional.back() + "'");
        }
        update::UpdateSite site = update::builtInUpdateSite();
        if (const auto url = args.value("url")) {
            site.baseUrl = *url;
        }
        if (site.baseUrl.empty()) {
            return fail(io, "this build has no update address; give one with --url URL");
        }
        update::HttpClient http;
        if (check) {
            return runCheck(io, http, site);
        }
        if (!args.positional.empty()) {
            site.downloadFolder = args.positional.front();
        }
        return runDownload(context, http, site, args.has("run"));
    }

private:
    static ExitCode runCheck(Io& io, update::HttpClient& http, const update::UpdateSite& site)
    {
        const update::CheckOutcome outcome = update::checkForUpdate(http, site.baseUrl, site.ownVersion);
        switch (outcome.result) {
        case update::CheckResult::UpdateAvailable:
            io.out << outcome.remoteVersion << "\n";
            return ExitCode::Success;
        case update::CheckResult::NotNewer:
            io.out << "no update\n";
            return ExitCode::Success;
        default:
            return fail(io, "update check failed: " + update::describeCheckResult(outcome));
        }
    }

    static ExitCode runDownload(CommandContext& context, update::HttpClient& http, update::UpdateSite site,
                                bool runInstaller)
    {
        Io& io = context.io;
        std::error_code error;
        if (!std::filesystem::is_directory(site.downloadFolder, error)) {
            return fail(io, "not a folder: " + site.downloadFolder.string());
        }
        TerminalPrompter prompter(io, context.passwords, context.globals.assumeYes);
        update::ProgramUpdate flow(prompter, http, std::move(site));
        TerminalProgress progress(io.err);
        if (stderrIsTerminal(io)) {
            flow.setDownloadWindow(&progress);
        }
        update::UpdateRunOptions options;
        options.manual = true;
        options.askBeforeDownload = false;
        options.installer = runInstaller ? update::InstallerStep::Run : update::InstallerStep::Keep;
        options.noUpdateMessage = false;
        NoProgramValues noValues;
        const update::UpdateRunResult result = flow.run(options, noValues);
        return report(io, result);
    }

    static ExitCode report(Io& io, const update::UpdateRunResult& result)
    {
        switch (result.end) {
        case update::UpdateEnd::Kept:
            io.out << "downloaded and verified: " << result.download->file.string() << "\n";
            return ExitCode::Success;
        case update::UpdateEnd::InstallerStarted:
            io.out << "started " << result.download->file.string() << "\n";
            return ExitCode::Success;
        case update::UpdateEnd::NoUpdate:
            if (result.check.result == update::CheckResult::NotNewer) {
                io.out << "no update\n";
                return ExitCode::Success;
            }
            if (result.download) {
                return fail(io, "download failed (what arrived is kept in " + result.download->file.string() +
                                    "): " + update::describeDownloadFailure(*result.download));
            }
            return fail(io, "update check failed: " + update::describeCheckResult(result.check));
        case update::UpdateEnd::DownloadPageOnly:
        case update::UpdateEnd::SignatureFailed:
        case update::UpdateEnd::InstallerNotStarted:
        case update::UpdateEnd::NotEnabled:
            return ExitCode::Failure; // the message said why
        }
        return ExitCode::Failure;
    }
};

} // namespace

std::unique_ptr<Command> makeUpdateCommand()
{
    return std::make_unique<UpdateCommand>();
}

} // namespace kestrava::cli
