#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

namespace kestrava::test {

ScriptedPrompter::~ScriptedPrompter()
{
    // Every scripted answer must have been asked for.
    EXPECT_TRUE(m_script.empty()) << m_script.size()
                                  << " scripted answer(s) were never asked for; the first is "
                                  << (m_script.empty() ? 0 : m_script.front().messageId);
}

ScriptedPrompter& ScriptedPrompter::expectMessage(int messageId, Button answer)
{
    Expectation e;
    e.messageId = messageId;
    e.answer = answer;
    m_script.push_back(std::move(e));
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectDrivePassword(DrivePasswordAnswer answer)
{
    Expectation e;
    e.drivePassword = true;
    e.password = std::move(answer);
    m_script.push_back(std::move(e));
    return *this;
}

Button ScriptedPrompter::messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                                    Icon icon)
{
    Call call;
    call.kind = Call::Kind::MessageBox;
    call.messageId = messageId;
    call.args = args;
    call.buttons = buttons;
    call.icon = icon;
    m_calls.push_back(call);

    const bool question = buttons != Buttons::OK;
    if (!m_script.empty() && !m_script.front().drivePassword && m_script.front().messageId == messageId) {
        const Button answer = m_script.front().answer;
        m_script.pop_front();
        return answer;
    }
    if (!question && !m_strict) {
        return Button::OK;
    }
    ADD_FAILURE() << "unexpected message " << messageId << " (\"" << formatPrompterMessage(messageId, args)
                  << "\"); next scripted: "
                  << (m_script.empty()                 ? std::string("nothing")
                      : m_script.front().drivePassword ? std::string("a drive password")
                                                       : std::to_string(m_script.front().messageId));
    return question ? Button::Unavailable : Button::OK;
}

Button ScriptedPrompter::messageBoxWithCaption(int captionId, int messageId,
                                               const std::vector<std::string>& args, Buttons buttons,
                                               Icon icon)
{
    const Button answer = messageBox(messageId, args, buttons, icon);
    m_calls.back().captionId = captionId;
    return answer;
}

DrivePasswordAnswer ScriptedPrompter::askDrivePassword(const DrivePasswordRequest& request)
{
    Call call;
    call.kind = Call::Kind::DrivePassword;
    call.text = request.label;
    call.args = {request.label, request.folder, request.letter};
    m_calls.push_back(call);
    if (m_script.empty() || !m_script.front().drivePassword) {
        ADD_FAILURE() << "unexpected drive password prompt for " << request.folder;
        return {PasswordOutcome::Unavailable, {}, false, false};
    }
    DrivePasswordAnswer answer = std::move(m_script.front().password);
    m_script.pop_front();
    if (answer.outcome == PasswordOutcome::Entered && request.check && !request.check(answer.password)) {
        ADD_FAILURE() << "the scripted drive password was refused by the prompt's check";
        return {PasswordOutcome::Cancelled, {}, false, false};
    }
    return answer;
}

void ScriptedPrompter::balloon(int fieldId, int messageId, Icon icon)
{
    Call call;
    call.kind = Call::Kind::Balloon;
    call.fieldId = fieldId;
    call.messageId = messageId;
    call.icon = icon;
    m_calls.push_back(call);
}

void ScriptedPrompter::titledBalloon(int fieldId, int titleId, int textId, Icon icon)
{
    balloon(fieldId, textId, icon);
    m_calls.back().titleId = titleId;
}

void ScriptedPrompter::status(const std::string& text)
{
    Call call;
    call.kind = Call::Kind::Status;
    call.text = text;
    m_calls.push_back(call);
}

std::vector<int> ScriptedPrompter::messageIds() const
{
    std::vector<int> ids;
    for (const Call& call : m_calls) {
        if (call.kind == Call::Kind::MessageBox) {
            ids.push_back(call.messageId);
        }
    }
    return ids;
}

int ScriptedPrompter::captionOf(int messageId) const
{
    for (const Call& call : m_calls) {
        if (call.kind == Call::Kind::MessageBox && call.messageId == messageId) {
            return call.captionId;
        }
    }
    ADD_FAILURE() << "no message box " << messageId << " was shown";
    return -1;
}

} // namespace kestrava::test
