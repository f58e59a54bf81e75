#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/drives/DriveListModel.h"
#include "core/token/HardenedToken.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace kestrava::cli {
namespace {

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void printJson(std::ostream& out, const std::vector<drives::DriveRow>& rows)
{
    static const char* const kKeys[drives::kColumnCount] = {"drive",   "volumeName", "folderLocation",
                                                            "mounted", "autoMount",  "requirePassword"};
    out << "[";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out << (r == 0 ? "\n  {" : ",\n  {");
        for (std::size_t c = 0; c < drives::kColumnCount; ++c) {
            out << (c == 0 ? "" : ", ") << jsonString(kKeys[c]) << ": "
                << jsonString(rows[r].cell(static_cast<drives::Column>(c)));
        }
        const auto format = token::readTokenFormat(token::tokenPathFor(rows[r].folder()));
        out << ", \"folder\": " << jsonString(rows[r].folder()) << ", \"icon\": " << rows[r].icon
            << ", \"format\": " << jsonString(format ? token::formatName(*format) : "unknown") << "}";
    }
    out << (rows.empty() ? "]\n" : "\n]\n");
}

void printTable(std::ostream& out, const std::vector<drives::DriveRow>& rows)
{
    std::vector<std::vector<std::string>> lines{drives::columnHeaders()};
    for (const auto& row : rows) {
        std::vector<std::string> cells;
        for (std::size_t c = 0; c < drives::kColumnCount; ++c) {
            cells.push_back(row.cell(static_cast<drives::Column>(c)));
        }
        lines.push_back(std::move(cells));
    }
    std::vector<std::size_t> widths(drives::kColumnCount, 0);
    for (const auto& line : lines) {
        for (std::size_t c = 0; c < drives::kColumnCount; ++c) {
            widths[c] = std::max(widths[c], line[c].size());
        }
    }
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < drives::kColumnCount; ++c) {
            std::string cell = line[c];
            if (c + 1 < drives::kColumnCount) {
                cell.resize(widths[c] + 2, ' ');
            }
            text += cell;
        }
        out << text << "\n";
    }
}

class ListCommand : public Command
{
public:
    std::string name() const override { return "list"; }
    std::string summary() const override { return "list the drives: letter, label, folder and state"; }
    std::string usage() const override { return "list [--json]"; }
    std::vector<OptionDefinition> options() const override
    {
        return {{"json", false, "", "print the rows as a JSON array"}};
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (!args.positional.empty()) {
            return usageError(context.io, "list: unexpected argument '" + args.positional.front() + "'");
        }
        ExitCode exitCode = ExitCode::Success;
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        const auto rows = run->rows().rows();
        if (args.has("json")) {
            printJson(context.io.out, rows);
        } else {
            printTable(context.io.out, rows);
        }
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeListCommand()
{
    return std::make_unique<ListCommand>();
}

} // namespace kestrava::cli
