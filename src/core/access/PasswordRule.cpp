#include "core/access/PasswordRule.h"

namespace kestrava {

std::size_t countCharacters(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

int checkNewPassword(std::string_view password, std::string_view confirmation)
{
    if (countCharacters(password) < kMinPasswordCharacters) {
        return kMsgPasswordTooShort;
    }
    if (confirmation.empty() || password != confirmation) {
        return kMsgPasswordMismatch;
    }
    return 0;
}

} // namespace kestrava
