// The mount flow's steps on their own: what unlocking one drive returns for each way it can go,
// and what mounting an unlocked drive does to the mounted-drives list.
#include "DriveFixture.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/MountFlow.h"

namespace kestrava::test {
namespace {

using drives::PasswordSource;
using drives::UnlockMode;
using drives::UnlockOutcome;

class MountStepsTest : public DriveFixture
{
protected:
    drives::UnlockResult unlock(UnlockMode mode = UnlockMode::RememberedOrPrompt, bool mayPrompt = true,
                                bool offerToForget = false)
    {
        drives::UnlockRequest request;
        request.mode = mode;
        request.mayPrompt = mayPrompt;
        request.offerToForget = offerToForget;
        return drives::unlockDrive(services, record(0), request);
    }
};

TEST_F(MountStepsTest, UnlockResultForEachCase)
{
    constexpr int kMsgStalePassword = 1260;
    // No token at all.
    std::filesystem::create_directories(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    EXPECT_EQ(unlock().outcome, UnlockOutcome::TokenUnreadable);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgTokenUnreadable});

    // A token that does not parse.
    writeFile(token::tokenPathFor(dir / "a"), "<not a token");
    EXPECT_EQ(unlock().outcome, UnlockOutcome::TokenUnreadable);

    // Remembered and right.
    const auto key = makeToken(dir / "a");
    drives::UnlockResult result = unlock();
    ASSERT_EQ(result.outcome, UnlockOutcome::Unlocked);
    EXPECT_EQ(result.source, PasswordSource::Remembered);
    EXPECT_EQ(result.context->masterKey(), key);
    EXPECT_EQ(mounted.size(), 0u) << "unlocking lists nothing";
    EXPECT_EQ(unlock(UnlockMode::TokenCheckOnly).outcome, UnlockOutcome::NoPassword);

    // Remembered but stale: without a prompt it stays locked; with one the typed password opens it.
    std::filesystem::remove(token::tokenPathFor(dir / "a"));
    makeToken(dir / "a", kOtherPassword);
    const std::size_t before = prompter.messageIds().size();
    EXPECT_EQ(unlock(UnlockMode::RememberedOnly).outcome, UnlockOutcome::StalePassword);
    EXPECT_EQ(prompter.messageIds().back(), kMsgStalePassword);
    EXPECT_EQ(prompter.messageIds().size(), before + 1);
    prompter.expectDrivePassword(cancelledPrompt());
    EXPECT_EQ(unlock().outcome, UnlockOutcome::Cancelled);
    prompter.expectDrivePassword(typedPassword(kOtherPassword));
    result = unlock();
    EXPECT_EQ(result.outcome, UnlockOutcome::Unlocked);
    EXPECT_EQ(result.source, PasswordSource::Prompt);
}

TEST_F(MountStepsTest, PromptedCancelledAndNotAllowedToAsk)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, true);
    EXPECT_EQ(unlock(UnlockMode::RememberedOrPrompt, false).outcome, UnlockOutcome::NoPassword);
    EXPECT_EQ(unlock(UnlockMode::RememberedOnly).outcome, UnlockOutcome::NoPassword);

    prompter.expectDrivePassword(cancelledPrompt());
    EXPECT_EQ(unlock().outcome, UnlockOutcome::Cancelled);
    prompter.expectDrivePassword(typedPassword(kDrivePassword));
    const drives::UnlockResult result = unlock();
    EXPECT_EQ(result.outcome, UnlockOutcome::Unlocked);
    EXPECT_EQ(result.source, PasswordSource::Prompt);
    EXPECT_EQ(prompter.unansweredCount(), 0u);
}

TEST_F(MountStepsTest, FailedCheckOffersToForgetTheRememberedPassword)
{
    makeToken(dir / "a");
    makeLegacy(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kOtherPassword, true);
    EXPECT_EQ(unlock().outcome, UnlockOutcome::CheckFailed);
    EXPECT_TRUE(prompter.messageIds().empty()) << "no offer unless asked for";

    prompter.expectMessage(drives::kMsgVerificationFailed, Button::No);
    EXPECT_EQ(unlock(UnlockMode::RememberedOrPrompt, true, true).outcome, UnlockOutcome::CheckFailed);
    EXPECT_FALSE(record(0).pwd.empty());
    prompter.expectMessage(drives::kMsgVerificationFailed, Button::Yes);
    EXPECT_EQ(unlock(UnlockMode::RememberedOrPrompt, true, true).outcome, UnlockOutcome::PasswordForgotten);
    EXPECT_TRUE(record(0).pwd.empty());
}

TEST_F(MountStepsTest, MountUnlockedListsOnlyAMountedDrive)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    const drives::UnlockResult unlocked = unlock();
    ASSERT_TRUE(unlocked.unlocked());

    host.busyLetters.insert("K:");
    EXPECT_EQ(drives::mountUnlocked(services, record(0), unlocked.context, {}, true),
              drives::MountStepOutcome::LetterInUse);
    EXPECT_EQ(mounted.size(), 0u);

    host.busyLetters.clear();
    host.failNextMount = host::MountResult{host::MountOutcome::Failed, "no fuse"};
    EXPECT_EQ(drives::mountUnlocked(services, record(0), unlocked.context, {}, true),
              drives::MountStepOutcome::Failed);
    EXPECT_EQ(mounted.size(), 0u);
    EXPECT_FALSE(prompter.messageIds().empty()) << "a failed mount is reported";

    EXPECT_EQ(drives::mountUnlocked(services, record(0), unlocked.context, {}, true),
              drives::MountStepOutcome::Mounted);
    EXPECT_EQ(mounted.mountedLetters(), std::vector<std::string>{"K:"});
    EXPECT_EQ(host.mounts.count("K:"), 1u);
}

} // namespace
} // namespace kestrava::test
