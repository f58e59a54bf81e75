// A Prompter for tests: answers from a script given in advance and records every call, so a
// test can check the exact sequence of messages (by string id and arguments) a flow shows.
// A question that is not scripted, or asked out of order, fails the test.
#pragma once

#include "core/app/Prompter.h"

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace kestrava::test {

class ScriptedPrompter : public Prompter
{
public:
    struct Call
    {
        enum class Kind
        {
            MessageBox,
            DrivePassword,
            Balloon,
            Status,
        };
        Kind kind = Kind::MessageBox;
        int messageId = 0;
        std::vector<std::string> args;
        Buttons buttons = Buttons::OK;
        Icon icon = Icon::None;
        int fieldId = 0;
        int captionId = kDefaultCaption; // a message box's own caption
        int titleId = 0;                 // a balloon's title
        std::string text;                // status text; for a drive password: the drive's label
    };

    ScriptedPrompter() = default;
    ~ScriptedPrompter() override;

    // The next question must be message messageId; it is answered with answer.
    ScriptedPrompter& expectMessage(int messageId, Button answer);
    // The next drive password prompt gets this answer (and its check is run on the password).
    ScriptedPrompter& expectDrivePassword(DrivePasswordAnswer answer);
    // OK-only boxes need no script entry unless strict is set: they are recorded and
    // answered OK.
    void setStrict(bool strict) { m_strict = strict; }

    Button messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                      Icon icon) override;
    Button messageBoxWithCaption(int captionId, int messageId, const std::vector<std::string>& args,
                                 Buttons buttons, Icon icon) override;
    DrivePasswordAnswer askDrivePassword(const DrivePasswordRequest& request) override;
    void balloon(int fieldId, int messageId, Icon icon) override;
    void titledBalloon(int fieldId, int titleId, int textId, Icon icon) override;
    void status(const std::string& text) override;

    const std::vector<Call>& calls() const { return m_calls; }
    // Message ids of every message box, in order.
    std::vector<int> messageIds() const;
    // The caption of the first message box with messageId (kDefaultCaption if it had none);
    // fails the test when there was no such box.
    int captionOf(int messageId) const;
    std::size_t unansweredCount() const { return m_script.size(); }

private:
    struct Expectation
    {
        bool drivePassword = false;
        int messageId = 0;
        Button answer = Button::OK;
        DrivePasswordAnswer password;
    };

    std::deque<Expectation> m_script;
    std::vector<Call> m_calls;
    bool m_strict = false;
};

} // namespace kestrava::test
