#include "cli/TerminalPrompter.h"

#include "cli/PasswordInput.h"
#include "cli/Terminal.h"
#include "core/app/StringTable.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgEnterDrivePassword = 263;
constexpr int kTextDriveLetter = 224;
constexpr int kTextVolumeName = 178;
constexpr int kTextFolderLocation = 179;
constexpr int kTextDrivePassword = 129;
constexpr int kMsgIncorrectPassword = 152;
constexpr int kMsgPasswordTooShort = 46;
constexpr int kMaxPasswordAttempts = 3;

const char* choices(Buttons buttons)
{
    switch (buttons) {
    case Buttons::OK:
        return "";
    case Buttons::OKCancel:
        return "[o]k/[c]ancel";
    case Buttons::YesNo:
        return "[y]es/[n]o";
    case Buttons::YesNoCancel:
        return "[y]es/[n]o/[c]ancel";
    }
    return "";
}

std::optional<Button> parseAnswer(std::string answer, Buttons buttons)
{
    for (char& c : answer) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\r')) {
        answer.pop_back();
    }
    const bool yesNo = buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel;
    if (yesNo && (answer == "y" || answer == "yes")) {
        return Button::Yes;
    }
    if (yesNo && (answer == "n" || answer == "no")) {
        return Button::No;
    }
    if (buttons == Buttons::OKCancel && (answer == "o" || answer == "ok")) {
        return Button::OK;
    }
    if ((buttons == Buttons::OKCancel || buttons == Buttons::YesNoCancel) &&
        (answer == "c" || answer == "cancel")) {
        return Button::Cancel;
    }
    return std::nullopt;
}

Button yesFor(Buttons buttons)
{
    return buttons == Buttons::OK || buttons == Buttons::OKCancel ? Button::OK : Button::Yes;
}

std::optional<std::string> readFromTty(const std::string& prompt)
{
    const auto line = readTerminalLine(prompt, true);
    return line ? std::optional<std::string>(std::string(line->data(), line->size())) : std::nullopt;
}

} // namespace

TerminalPrompter::TerminalPrompter(Io& io, PasswordInput& passwords, bool assumeYes, LineReader reader)
    : m_io(io), m_passwords(passwords), m_assumeYes(assumeYes), m_reader(std::move(reader))
{
    if (!m_reader && m_io.interactive) {
        m_reader = readFromTty;
    }
}

std::optional<std::string> TerminalPrompter::readLine(const std::string& prompt)
{
    if (!m_reader) {
        return std::nullopt;
    }
    return m_reader(prompt);
}

Button TerminalPrompter::messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                                    Icon /*icon*/)
{
    m_io.err << "kestrava-cli: " << formatPrompterMessage(messageId, args) << "\n";
    if (buttons == Buttons::OK) {
        return Button::OK;
    }
    if (m_assumeYes) {
        m_io.err << "kestrava-cli: answered " << (yesFor(buttons) == Button::Yes ? "yes" : "ok")
                 << " (--yes)\n";
        return yesFor(buttons);
    }
    for (;;) {
        const auto line = readLine(std::string(choices(buttons)) + " ");
        if (!line) {
            m_unanswered = true;
            return Button::Unavailable;
        }
        if (const auto answer = parseAnswer(*line, buttons)) {
            return *answer;
        }
    }
}

DrivePasswordAnswer TerminalPrompter::askDrivePassword(const DrivePasswordRequest& request)
{
    m_io.err << loadAppString(kMsgEnterDrivePassword) << "\n"
             << "  " << loadAppString(kTextDriveLetter) << " " << request.letter.substr(0, 1) << "\n"
             << "  " << loadAppString(kTextVolumeName) << ": " << request.label << "\n"
             << "  " << loadAppString(kTextFolderLocation) << ": " << request.folder << "\n";
    DrivePasswordAnswer answer;
    answer.rememberPassword = request.rememberPassword;
    answer.autoMount = request.autoMount;
    for (int attempt = 0; attempt < kMaxPasswordAttempts; ++attempt) {
        std::string error;
        auto password = m_passwords.ask(loadAppString(kTextDrivePassword) + " ", error);
        if (!password) {
            m_io.err << "kestrava-cli: " << error << "\n";
            answer.outcome = PasswordOutcome::Unavailable;
            m_unanswered = true;
            return answer;
        }
        if (password->empty()) {
            m_io.err << "kestrava-cli: " << loadAppString(kMsgPasswordTooShort) << "\n";
            continue;
        }
        if (request.check && !request.check(*password)) {
            m_io.err << "kestrava-cli: " << loadAppString(kMsgIncorrectPassword) << "\n";
            continue;
        }
        answer.outcome = PasswordOutcome::Entered;
        answer.password = std::move(*password);
        return answer;
    }
    answer.outcome = PasswordOutcome::Cancelled;
    return answer;
}

void TerminalPrompter::balloon(int /*fieldId*/, int messageId, Icon /*icon*/)
{
    m_io.err << "kestrava-cli: " << loadAppString(messageId) << "\n";
}

void TerminalPrompter::status(const std::string& /*text*/)
{
    // A terminal run has no status line; what matters is in the messages and the log.
}

} // namespace kestrava::cli
