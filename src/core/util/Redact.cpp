#include "core/util/Redact.h"

namespace kestrava::util {

std::string redact(std::string_view secret)
{
    return std::string(secret.substr(0, 4));
}

} // namespace kestrava::util
