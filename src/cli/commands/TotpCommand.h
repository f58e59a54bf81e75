// The totp command with what it draws from outside made replaceable for tests: the new
// secret of a pairing and the clock the first code is checked against.
#pragma once

#include "cli/Command.h"
#include "core/crypto/SecureBytes.h"
#include "core/session/AppSession.h"

#include <functional>
#include <memory>

namespace kestrava::cli {

struct TotpSources
{
    std::function<crypto::SecureString()> newSecret;
    session::Clock clock;
};

std::unique_ptr<Command> makeTotpCommand(TotpSources sources);

} // namespace kestrava::cli
