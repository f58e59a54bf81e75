// The one way flows talk to the user. Flows never show anything themselves: the desktop app
// implements this with dialogs, kestrava-cli with the terminal, and tests with a script that
// records every message by its string id.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

enum class Buttons
{
    OK,
    OKCancel,
    YesNo,
    YesNoCancel,
};

enum class Icon
{
    None,
    Error,
    Warning,
    Information,
    Question,
};

// No caption or text of its own: the caption "Kestrava", a blank balloon text.
inline constexpr int kDefaultCaption = 0;
inline constexpr int kNoBalloonText = 0;

enum class Button
{
    OK,
    Cancel,
    Yes,
    No,
    // Nobody can answer (a terminal-less run without --yes). The flow stops without acting
    // as if any button had been chosen; the front end reports why.
    Unavailable,
};

// What the drive password prompt shows, and the initial state of its check boxes.
struct DrivePasswordRequest
{
    std::string label;
    std::string folder;
    std::string letter;
    bool rememberPassword = false;
    bool autoMount = false;
    // Tests a typed password (as typed, before hashing). While it answers false the prompt
    // stays open and says the password is wrong. Unset: every non-empty password is taken.
    std::function<bool(std::string_view typed)> check;
};

enum class PasswordOutcome
{
    Entered,
    Cancelled,
    Unavailable,
};

struct DrivePasswordAnswer
{
    PasswordOutcome outcome = PasswordOutcome::Cancelled;
    crypto::SecureString password; // as typed; empty unless Entered
    bool rememberPassword = false;
    bool autoMount = false;
    // The "Enable Auto Mount" box was changed while the prompt was open. Set whatever the
    // outcome: the change takes effect at once, even when the prompt is then cancelled.
    bool autoMountChanged = false;
};

class Prompter
{
public:
    virtual ~Prompter() = default;

    // A message box captioned "Kestrava": the text is the string with messageId, its
    // placeholders filled in order from args. Returns the button chosen.
    virtual Button messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                              Icon icon) = 0;

    // The same with its own caption (a string id) instead of "Kestrava". Front ends without
    // captions show the text alone.
    virtual Button messageBoxWithCaption(int captionId, int messageId, const std::vector<std::string>& args,
                                         Buttons buttons, Icon icon)
    {
        (void)captionId;
        return messageBox(messageId, args, buttons, icon);
    }

    virtual DrivePasswordAnswer askDrivePassword(const DrivePasswordRequest& request) = 0;

    // An input error shown at a dialog field (fieldId names the field for the front end).
    virtual void balloon(int fieldId, int messageId, Icon icon) = 0;

    // A balloon with a title and a text (string ids) at a dialog field. textId kNoBalloonText
    // leaves the text blank, for a balloon whose title says it all.
    virtual void titledBalloon(int fieldId, int titleId, int textId, Icon icon) = 0;

    // The main window's status line.
    virtual void status(const std::string& text) = 0;
};

// A message box with captionId as its caption, or the usual one for kDefaultCaption.
Button messageBoxCaptioned(Prompter& prompter, int captionId, int messageId,
                           const std::vector<std::string>& args, Buttons buttons, Icon icon);

// The full text of a message: its string, placeholders filled.
std::string formatPrompterMessage(int messageId, const std::vector<std::string>& args);

} // namespace kestrava
