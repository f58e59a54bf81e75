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

// The answers a question takes; the capital letter marks the default that Enter chooses. The
// default is the answer that changes nothing (No, Cancel), so a stray Enter never deletes or
// overwrites anything.
const char* choices(Buttons buttons)
{
    switch (buttons) {
    case Buttons::OK:
        return "";
    case Buttons::OKCancel:
        return "[o]k/[C]ancel";
    case Buttons::YesNo:
        return "[y]es/[N]o";
    case Buttons::YesNoCancel:
        return "[y]es/[n]o/[C]ancel";
    }
    return "";
}

Button defaultFor(Buttons buttons)
{
    return buttons == Buttons::YesNo ? Button::No : Button::Cancel;
}

std::string normalized(std::string answer)
{
    for (char& c : answer) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!answer.empty() && blank(answer.back())) {
        answer.pop_back();
    }
    std::size_t start = 0;
    while (start < answer.size() && blank(answer[start])) {
        ++start;
    }
    return answer.substr(start);
}

std::optional<Button> parseAnswer(const std::string& typed, Buttons buttons)
{
    const std::string answer = normalized(typed);
    if (answer.empty()) {
        return defaultFor(buttons);
    }
    const bool yes = answer == "y" || answer == "yes";
    const bool no = answer == "n" || answer == "no";
    const bool ok = answer == "o" || answer == "ok";
    const bool cancel = answer == "c" || answer == "cancel";
    switch (buttons) {
    case Buttons::OK:
        return Button::OK;
    case Buttons::OKCancel:
        // y/n are taken too: "Create the folder? [o]k/[C]ancel" is answered as naturally with y.
        if (ok || yes) {
            return Button::OK;
        }
        if (cancel || no) {
            return Button::Cancel;
        }
        break;
    case Buttons::YesNo:
        if (yes || no) {
            return yes ? Button::Yes : Button::No;
        }
        break;
    case Buttons::YesNoCancel:
        if (yes || no) {
            return yes ? Button::Yes : Button::No;
        }
        if (cancel) {
            return Button::Cancel;
        }
        break;
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
        m_io.err << "kestrava-cli: answer " << choices(buttons) << "\n";
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
            // That line already names what would help (--password-stdin); a missing password is
            // not an unanswered question, whose hint (--yes) would not help.
            m_io.err << "kestrava-cli: " << error << "\n";
            answer.outcome = PasswordOutcome::Unavailable;
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

void TerminalPrompter::titledBalloon(int /*fieldId*/, int titleId, int textId, Icon /*icon*/)
{
    m_io.err << "kestrava-cli: " << loadAppString(titleId);
    if (textId != kNoBalloonText) {
        m_io.err << "\n" << loadAppString(textId);
    }
    m_io.err << "\n";
}

void TerminalPrompter::status(const std::string& /*text*/)
{
    // A terminal run has no status line; what matters is in the messages and the log.
}

} // namespace kestrava::cli
