// Adopting an existing security token for a new drive: the import check and the offer made
// when the chosen folder already holds a token.
#pragma once

#include "core/app/Prompter.h"
#include "core/token/DriveContext.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrava::settings {
class SettingsFile;
}

namespace kestrava::drives {

struct ValidationState;

// Whether a successful import is announced. The offer turns it on; a creation run turns it
// off before it starts, so its own password check does not announce again.
struct ImportAnnouncement
{
    bool announce = false;
    // The caption of the messages that say the file cannot be read.
    int loadCaptionId = kDefaultCaption;
};

// Loads the token file with the drive password (empty: no password yet, only readability is
// checked). Unreadable files are reported when no password is given; a token of the old
// format is announced as such and still accepted. With a password the check data must pass.
// optionsOut, when given, receives the token's options.
bool checkTokenImport(Prompter& prompter, const std::filesystem::path& file, std::string_view drivePassword,
                      const ImportAnnouncement& announcement, token::TokenOptions* optionsOut = nullptr);

enum class TokenOffer
{
    NoToken,          // the folder holds no token: a new one will be made
    Adopted,          // the user chose to import it; importFile is set
    Declined,         // the user chose a new token; the existing file will be replaced
    ValidationFailed, // the folder did not pass the prompted check
    ImportFailed,     // the token could not be read
    Unanswered,       // nobody could answer; nothing may be assumed
};

// The existing-token offer for a folder (validated with prompts, label and letter not
// compared). On Adopted, importFile is the folder's token path.
TokenOffer offerExistingToken(const settings::SettingsFile& settings, Prompter& prompter,
                              const std::string& folder, ValidationState& state,
                              ImportAnnouncement& announcement, std::filesystem::path& importFile);

} // namespace kestrava::drives
