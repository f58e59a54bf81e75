// Every user-visible text by its string id. The English table is built in; a language pack
// (loaded by the desktop app) may replace texts by id.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

// The text for id: from the installed language override when it has one, else the built-in
// English text; empty for an unknown id.
std::string loadAppString(int id);

// The built-in English text; empty for an unknown id.
std::string_view englishAppString(int id);

// Ids present in the built-in table, ascending.
std::vector<int> appStringIds();

// Installed by the desktop app when a language pack is loaded; returning an empty optional-like
// empty string means "no translation" for that id. Pass nullptr to return to English.
using StringOverride = std::function<std::string(int id)>;
void setAppStringOverride(StringOverride lookup);

// Fills a message text's printf-style placeholders (%s, %d, %u, %i, %%) in order with the given
// arguments, already formatted as text. Missing arguments become empty.
std::string formatAppString(std::string_view text, const std::vector<std::string>& arguments);

} // namespace kestrava
