// Program version texts: "1.2.9.0" style, compared piece by piece as numbers.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::update {

inline constexpr int kCandidateUnparsable = -21;
inline constexpr int kReferenceUnparsable = -22;

// 1 when candidate is newer than reference, -1 when older, 0 when equal; kCandidateUnparsable
// or kReferenceUnparsable when a text is not a version (at most four pieces of digits
// separated by "."; empty pieces are skipped and missing pieces count as 0).
int compareVersions(std::string_view candidate, std::string_view reference);

// The version shown and compared, from a four-part "a.b.c.d" build version: "a.b.c.d", or
// "a.b" when c and d are 0, or empty when all four are 0 or the text is not such a version.
std::string versionTextFromBuild(std::string_view buildVersion);

// The running program's version text, from the project version it was built with.
std::string ownVersionText();

} // namespace kestrava::update
