#include "core/access/PasswordStrength.h"

#include "core/app/StringTable.h"

#include <algorithm>
#include <vector>

namespace kestrava {
namespace {

constexpr std::size_t kMaxRatedCharacters = 259;
constexpr int kClassPoints = 15;
constexpr int kLengthPoints = 20;
constexpr int kPatternPenalty = 15;
constexpr int kMsgAlphabet = 42; // the alphabet used for the run check

// Code points of UTF-8 text; a malformed byte counts as one character of its own.
std::vector<char32_t> codePoints(std::string_view text, std::size_t limit)
{
    std::vector<char32_t> out;
    std::size_t i = 0;
    while (i < text.size() && out.size() < limit) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 1;
        if (i + length > text.size()) {
            length = 1;
        }
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

// Classification of the C locale: only ASCII characters belong to a class.
bool isDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}
bool isUpper(char32_t c)
{
    return c >= 'A' && c <= 'Z';
}
bool isLetter(char32_t c)
{
    return isUpper(c) || (c >= 'a' && c <= 'z');
}
bool isPunctuation(char32_t c)
{
    return c > 0x20 && c < 0x7F && !isDigit(c) && !isLetter(c);
}
bool isSpace(char32_t c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
char32_t toLower(char32_t c)
{
    return isUpper(c) ? c + ('a' - 'A') : c;
}

int classPoints(const std::vector<char32_t>& chars)
{
    int points = 0;
    for (const auto test : {isDigit, isLetter, isUpper, isPunctuation, isSpace}) {
        if (std::any_of(chars.begin(), chars.end(), test)) {
            points += kClassPoints;
        }
    }
    return points;
}

int lengthPoints(std::size_t length)
{
    int points = 0;
    for (const std::size_t threshold : {8u, 12u, 16u}) {
        if (length > threshold) {
            points += kLengthPoints;
        }
    }
    return points;
}

bool hasTripleRepeat(const std::vector<char32_t>& chars)
{
    for (std::size_t i = 2; i < chars.size(); ++i) {
        if (chars[i] == chars[i - 1] && chars[i] == chars[i - 2]) {
            return true;
        }
    }
    return false;
}

bool containsRun(const std::vector<char32_t>& haystack, const char32_t* run)
{
    return std::search(haystack.begin(), haystack.end(), run, run + 3) != haystack.end();
}

bool hasSequence(const std::vector<char32_t>& chars)
{
    std::vector<char32_t> alphabet = codePoints(loadAppString(kMsgAlphabet), kMaxRatedCharacters);
    if (alphabet.empty()) {
        alphabet = codePoints("abcdefghijklmnopqrstuvwxyz", kMaxRatedCharacters);
    }
    const std::vector<char32_t> reversed(alphabet.rbegin(), alphabet.rend());
    // The trailing 0 makes "890" a run; descending digits are not.
    const std::vector<char32_t> digits = codePoints("01234567890", kMaxRatedCharacters);
    for (std::size_t i = 2; i < chars.size(); ++i) {
        const char32_t run[3] = {toLower(chars[i - 2]), toLower(chars[i - 1]), toLower(chars[i])};
        if (containsRun(alphabet, run) || containsRun(reversed, run) || containsRun(digits, run)) {
            return true;
        }
    }
    return false;
}

} // namespace

PasswordStrength ratePasswordStrength(std::string_view text)
{
    const std::vector<char32_t> chars = codePoints(text, kMaxRatedCharacters);
    PasswordStrength result;
    result.score = classPoints(chars) + lengthPoints(chars.size());
    if (hasTripleRepeat(chars)) {
        result.score -= kPatternPenalty;
    }
    if (hasSequence(chars)) {
        result.score -= kPatternPenalty;
    }
    // A text of nothing but repeats outside every class would go below the bar's start.
    result.score = std::clamp(result.score, 0, kMaxPasswordStrengthScore);
    if (chars.size() < 6) {
        result.labelId = kMsgStrengthTooShort;
    } else if (result.score > 79) {
        result.labelId = kMsgStrengthStrong;
    } else if (result.score >= 36) {
        result.labelId = kMsgStrengthGood;
    } else {
        result.labelId = kMsgStrengthWeak;
    }
    return result;
}

std::string passwordStrengthCaption(const PasswordStrength& strength)
{
    return loadAppString(kMsgStrengthCaption) + loadAppString(strength.labelId);
}

} // namespace kestrava
