// Feeds arbitrary bytes to the token reader, and what it accepts to the writer and rewrapper.
#include "core/token/HardenedToken.h"
#include "core/token/TokenDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    kestrava::token::TokenFields fields;
    std::string error;
    if (kestrava::token::parseTokenDocument(xml, fields, error)) {
        // A document we accept must survive being written and read again.
        const std::string written = kestrava::token::writeTokenDocument(fields);
        kestrava::token::TokenFields again;
        if (!kestrava::token::parseTokenDocument(written, again, error)) {
            __builtin_trap();
        }
        kestrava::token::RewrapValues values;
        values.encodedKey = fields.encodedKey;
        std::string updated;
        kestrava::token::rewrapTokenDocument(xml, values, updated, error);
    }
    kestrava::token::HardenedFields hardened;
    if (kestrava::token::parseHardenedToken(xml, hardened, error)) {
        // What we accept as a hardened token must survive being written and read again.
        kestrava::token::HardenedFields again;
        if (!kestrava::token::parseHardenedToken(kestrava::token::writeHardenedToken(hardened), again,
                                                 error)) {
            __builtin_trap();
        }
    }
    return 0;
}
