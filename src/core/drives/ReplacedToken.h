// Keeping a security token that a new one is about to replace: the files it encrypted can only
// ever be opened with it, so it stays in the folder under a name of its own.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace kestrava {
class Prompter;
}

namespace kestrava::drives {

// The name a token replaced at time when is kept under: the replaced-token prefix and the
// local date and time ("...replaced-20261208-101500"); attempt 2 and later add "-<attempt>".
std::string replacedTokenName(const std::tm& when, int attempt = 1);

// Copies the token at the folder's token path to a new file beside it (replacedTokenName,
// mode 0600, flushed to disk with its folder entry) and tells the user where (message 1243).
// No regular file there: nothing to keep, true. False, with message 1244, when the copy could
// not be made: the caller must leave the token in place.
bool keepReplacedToken(Prompter& prompter, const std::filesystem::path& folder);

} // namespace kestrava::drives
