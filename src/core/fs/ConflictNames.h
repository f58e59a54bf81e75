// Sync-client conflict copies in a backing folder. A sync client that meets two versions of
// one file keeps the second under the same name with some text added ("<name> (conflicted
// copy 2026-12-08)", "<name> (1)", "<name>-LAPTOP" ...). Encrypted names have no extension,
// so the text lands after the whole encrypted name. Such an entry is shown on the drive as
// the decrypted name with the added text put before the extension
// ("report (conflicted copy 2026-12-08).txt"). This file holds the name rules only; no I/O.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::fs {

// The plain name of a text that is exactly one encrypted name of the drive (nothing before,
// nothing after), or "" when it is not.
using ExactNameDecoder = std::function<std::string(std::string_view stored)>;

struct ConflictCopy
{
    std::string plainName; // the decrypted name the copy belongs to
    std::string suffix;    // the text the sync client added, as stored
};

// Whether text is what sync clients add to a name. Strong forms count after any encrypted
// name: " (...)", " [...]", " " and digits, " - Copy...", and anything with "conflict" in it
// starting with a space, "-", "_", "." or "~". The weak form "-MACHINENAME" (letters, digits,
// "-" and "_", no dot) is accepted only when weakAllowed.
bool isSyncSuffix(std::string_view suffix, bool weakAllowed);

// Encrypted names of fewer characters are too likely to decrypt to something by chance for
// the weak "-MACHINENAME" form to be trusted after them.
inline constexpr std::size_t kMinPrefixForWeakSuffix = 8;

// Splits a backing name that is not itself an encrypted name into an encrypted name and an
// added sync suffix. The longest encrypted prefix with a strong suffix wins; only when there
// is none, the longest with a weak suffix. The prefix's plain name must hold no control
// characters (random bytes that pass as a name usually do).
std::optional<ConflictCopy> recogniseConflictCopy(std::string_view backingName,
                                                  const ExactNameDecoder& decode);

// The name shown for a copy: the suffix put before the plain name's extension (the text from
// the last "." that is neither the first nor the last character), or at its end.
std::string conflictDisplayName(std::string_view plainName, std::string_view suffix);

// name with " (n)" put before its extension.
std::string numberedName(std::string_view name, int number);

// Whether a plain name could be shown for a conflict copy at all; names that cannot are never
// looked for among copies (most lookups of missing names).
bool mayBeConflictDisplayName(std::string_view plainName);

// Every (plain name, suffix) a copy shown under shownName (unnumbered) may have come from.
std::vector<ConflictCopy> possibleOrigins(std::string_view shownName);

// Whether a name carries a collision number " (n)" somewhere.
bool mayBeNumbered(std::string_view shownName);

// The names shown for the copies of one directory (backing name -> shown name). A real entry
// always keeps its name; a copy whose name is taken, by a real entry or by a copy earlier in
// backing-name order, gets " (2)", " (3)"... before its extension. Shown names longer than a
// directory entry can hold (255 bytes) are left out.
std::map<std::string, std::string> assignDisplayNames(const std::set<std::string>& realNames,
                                                      const std::map<std::string, ConflictCopy>& copies);

} // namespace kestrava::fs
