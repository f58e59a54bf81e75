#include "core/access/PasswordStrength.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

void expectRating(std::string_view text, int score, int labelId)
{
    const PasswordStrength strength = ratePasswordStrength(text);
    EXPECT_EQ(strength.score, score) << text;
    EXPECT_EQ(strength.labelId, labelId) << text;
}

TEST(PasswordStrength, LoginDialogExamples)
{
    expectRating("ccc", 0, kMsgStrengthTooShort);         // letter, minus the repeat
    expectRating("abc123", 15, kMsgStrengthWeak);         // letter + digit, minus one run penalty
    expectRating("Tk7#mP2$wQ9!", 80, kMsgStrengthStrong); // four classes, length 12
    expectRating("Tk7#mP2$wQ9!x", 100, kMsgStrengthStrong);
}

TEST(PasswordStrength, DriveDialogExamples)
{
    expectRating("Tk7#mPwQzR", 80, kMsgStrengthStrong); // ten characters: one digit, one mark
    EXPECT_EQ(passwordStrengthCaption(ratePasswordStrength("Tk7#mPwQzR")), "Password: Strong");
    expectRating("qqqqqq", 0, kMsgStrengthWeak);
    for (const char* five : {"a", "Zx9!", "Tk7#m", "     "}) {
        EXPECT_EQ(ratePasswordStrength(five).labelId, kMsgStrengthTooShort) << five;
    }
}

TEST(PasswordStrength, ThresholdsBetweenLabels)
{
    expectRating("Abcdzz", 15, kMsgStrengthWeak);      // letter + upper, "Abc" is a run
    expectRating("Axbzqw", 30, kMsgStrengthWeak);      // score 30
    expectRating("Ax1zqw", 45, kMsgStrengthGood);      // letter + upper + digit
    expectRating("Ax1zqw!p", 60, kMsgStrengthGood);    // length 8 earns nothing yet
    expectRating("Ax1zqw!pm", 80, kMsgStrengthStrong); // length 9
    expectRating("ax1zqw pmt", 65, kMsgStrengthGood);  // letter, digit, space, length bonus
}

TEST(PasswordStrength, RunsAndRepeats)
{
    expectRating("zyxqwer", 0, kMsgStrengthWeak);    // reversed alphabet run
    expectRating("qwe890", 15, kMsgStrengthWeak);    // "890" counts thanks to the trailing zero
    expectRating("qwe987", 30, kMsgStrengthWeak);    // descending digits do not
    expectRating("qwXYZp", 15, kMsgStrengthWeak);    // runs are compared lower-cased
    expectRating("aaabcdQ1!", 50, kMsgStrengthGood); // 80 less both penalties, each once
    expectRating("aaaQbbb1!", 65, kMsgStrengthGood); // two repeats cost one penalty
}

TEST(PasswordStrength, LengthBonusesAndCeiling)
{
    expectRating("qwrtpsdkgh1mn", 70, kMsgStrengthGood);       // 13 characters: two bonuses
    expectRating("qwrtpsdkgh1mnbvcx", 90, kMsgStrengthStrong); // 17: three bonuses
    expectRating("Qw1! rtpsdfgmnbvcx", kMaxPasswordStrengthScore, kMsgStrengthStrong);
}

TEST(PasswordStrength, NonAsciiBelongsToNoClassAndCountsAsOneCharacter)
{
    // Six characters of two bytes each: no class, not too short, no runs.
    expectRating("\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xAB\xC3\xB4\xC3\xBB", 0, kMsgStrengthWeak);
    // Five such characters are too short although they take ten bytes.
    EXPECT_EQ(ratePasswordStrength("\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xAB\xC3\xB4").labelId, kMsgStrengthTooShort);
    // Repeats outside every class cannot take the bar below its start.
    EXPECT_EQ(ratePasswordStrength("\xC3\xA9\xC3\xA9\xC3\xA9").score, 0);
}

TEST(PasswordStrength, OnlyTheFirst259CharactersCount)
{
    std::string text(259, 'x');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = "qwrtpsdkgh"[i % 10];
    }
    const int base = ratePasswordStrength(text).score;
    EXPECT_EQ(base, 75); // letter + three length bonuses
    EXPECT_EQ(ratePasswordStrength(text + "1!A").score, base);
}

} // namespace
} // namespace kestrava
