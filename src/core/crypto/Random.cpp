#include "core/crypto/Random.h"

#include <cryptopp/osrng.h>

namespace kestrava::crypto {

SecureBytes randomBytes(std::size_t count)
{
    SecureBytes out(count);
    if (count != 0) {
        CryptoPP::AutoSeededRandomPool pool; // non-blocking, seeded per call
        pool.GenerateBlock(out.data(), out.size());
    }
    return out;
}

} // namespace kestrava::crypto
