#include "core/token/KeyDerivation.h"

#include "core/crypto/Hash.h"
#include "core/crypto/ThreadCpuTimer.h"

#include <algorithm>
#include <memory>

namespace kestrava::token {

crypto::SecureBytes deriveKeyEncryptionKey(crypto::ByteView password, crypto::ByteView salt,
                                           const KdfSettings& settings, std::size_t kekSize,
                                           std::int64_t* hashCount)
{
    crypto::SecureBytes input(password.begin(), password.end());
    input.insert(input.end(), salt.begin(), salt.end());
    crypto::Sha256Digest h = crypto::sha256(input);

    const std::int64_t n = settings.iterations == 0 ? 1 : settings.iterations;
    const double bound = settings.durationSeconds;
    std::unique_ptr<crypto::ThreadCpuTimer> timer;
    if (settings.durationSeconds != 0) {
        timer = std::make_unique<crypto::ThreadCpuTimer>();
    }
    auto timeLeft = [&](std::int64_t i) {
        return timer && (i % 128 != 0 || timer->elapsedSeconds() < bound);
    };
    std::int64_t i = 1;
    for (; i < n || timeLeft(i); ++i) {
        h = crypto::sha256(h);
    }
    if (hashCount != nullptr) {
        *hashCount = i;
    }
    crypto::SecureBytes kek(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(std::min(kekSize, h.size())));
    crypto::secureWipe(h.data(), h.size());
    return kek;
}

} // namespace kestrava::token
