// The Prompter of kestrava-cli. Messages go to standard error; questions are answered on the
// controlling terminal, or all with Yes/OK under --yes. Without a terminal and without --yes
// a question is not answered at all (Button::Unavailable): the command then fails saying so,
// instead of acting on a default nobody chose.
#pragma once

#include "cli/Command.h"
#include "core/app/Prompter.h"

#include <functional>
#include <optional>
#include <string>

namespace kestrava::cli {

class PasswordInput;

class TerminalPrompter : public Prompter
{
public:
    // Reads one answer line after showing the prompt; nothing when no terminal can be used.
    using LineReader = std::function<std::optional<std::string>(const std::string& prompt)>;

    TerminalPrompter(Io& io, PasswordInput& passwords, bool assumeYes, LineReader reader = {});

    Button messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                      Icon icon) override;
    DrivePasswordAnswer askDrivePassword(const DrivePasswordRequest& request) override;
    void balloon(int fieldId, int messageId, Icon icon) override;
    void titledBalloon(int fieldId, int titleId, int textId, Icon icon) override;
    void status(const std::string& text) override;

    // Whether some question (not a password) went unanswered for want of a terminal.
    bool unanswered() const { return m_unanswered; }

private:
    std::optional<std::string> readLine(const std::string& prompt);

    Io& m_io;
    PasswordInput& m_passwords;
    bool m_assumeYes;
    LineReader m_reader;
    bool m_unanswered = false;
};

// The line to show when a command stopped at a question nobody could answer.
inline constexpr const char* kNoTerminalForQuestion =
    "a question needs an answer but there is no terminal; run it on a terminal or add --yes";

} // namespace kestrava::cli
