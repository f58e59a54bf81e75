// A drive's remembered password in the settings file: the protected form, with the login layer
// on top when the editing dialog stored it while the program lock was in force. Reading it back
// takes that layer off again when the lock's key is known in this run, so a password remembered
// under the lock keeps opening the drive.
#pragma once

#include "core/settings/SavedPasswords.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrava::token {
class DriveContext;
}

namespace kestrava::drives {

// The inverse of loginEncryptStr: the text back from its login-layer form under key.
std::string loginDecryptStr(std::string_view key, std::string_view layered);

// The "pwd" value to store for the context's drive password: its protected form, passed
// through the login layer when formatDrvPaswd gives a key for this run.
std::string rememberedPasswordValue(const token::DriveContext& context, const LoginLayerState& loginLayer);

// Whether the context's password opens its loaded token: the digest, or for a token of the old
// format (which has none) the check data.
bool passwordOpensToken(const token::DriveContext& context);

// The context holds the plain reading of the remembered value storedPwd and has loaded the
// token at tokenPath. When that reading does not open the token and this run knows the login
// layer's key, the value is read again without the layer. True when the context now holds
// the password read without the layer (the token reloaded with it); false leaves the context
// as it was.
bool readRememberedPassword(token::DriveContext& context, std::string_view storedPwd,
                            const LoginLayerState& loginLayer, const std::filesystem::path& tokenPath);

} // namespace kestrava::drives
