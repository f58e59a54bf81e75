// The mounted-drives list's runtime entries, read by one thread while another changes them,
// and the edit session that closes itself on every way out.
#include "core/drives/MountedDrives.h"

#include "DriveFixture.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/MountFlow.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

namespace kestrava::test {
namespace {

std::shared_ptr<token::DriveContext> contextAt(const std::string& letter, const std::string& folder)
{
    auto context = std::make_shared<token::DriveContext>();
    context->setDriveLetter(letter);
    context->setBackingFolder(folder);
    return context;
}

TEST(MountedDrivesTest, EntryKeepsTheLetterItWasMountedAtWhileTheContextIsEdited)
{
    drives::MountedDrives list;
    auto context = contextAt("K:", "/a");
    list.add(context);
    EXPECT_TRUE(list.mountedLetters().empty()) << "unlocked for editing, not mounted";
    ASSERT_TRUE(list.setMounted(*context, true));
    context->setDriveLetter("M:"); // the edit dialog's new letter, not yet mounted there
    EXPECT_EQ(list.mountedLetters(), std::vector<std::string>{"K:"});
    EXPECT_FALSE(list.removeUnlessMounted(*context));
    list.setMounted(*context, true); // mounted again under the new letter
    EXPECT_EQ(list.mountedLetters(), std::vector<std::string>{"M:"});

    list.setMounted(*context, false);
    EXPECT_TRUE(list.removeUnlessMounted(*context));
    EXPECT_FALSE(list.setMounted(*context, true)) << "no entry any more";
    EXPECT_EQ(list.size(), 0u);
}

TEST(MountedDrivesTest, ReaderSeesOnlyWholeEntriesWhileAWorkerMountsAndUnmounts)
{
    drives::MountedDrives list;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i) {
            auto context = contextAt(i % 2 == 0 ? "K:" : "L:", "/f" + std::to_string(i));
            list.add(context);
            list.setMounted(*context, true);
            context->setDriveLetter("Z:");
            if (i % 3 == 0) {
                list.setMounted(*context, false);
                list.removeUnlessMounted(*context);
            } else {
                list.remove(context.get());
            }
        }
        done = true;
    });
    std::size_t reads = 0;
    std::vector<std::string> wrongLetters;
    std::size_t mostEntries = 0;
    while (!done || reads == 0) {
        for (const std::string& letter : list.mountedLetters()) {
            if (letter != "K:" && letter != "L:") {
                wrongLetters.push_back(letter);
            }
        }
        mostEntries = std::max(mostEntries, list.contexts().size());
        ++reads;
    }
    worker.join();
    EXPECT_TRUE(wrongLetters.empty())
        << "a letter changed after the mount was read: " << wrongLetters.front();
    EXPECT_LE(mostEntries, 1u);
    EXPECT_EQ(list.size(), 0u);
}

class EditSessionTest : public DriveFixture
{
protected:
    std::optional<drives::EditSession> begin()
    {
        rows.clear();
        for (const auto& row : drives::listDriveRows(settings, host)) {
            rows.addRow(row);
        }
        return drives::beginDriveEdit(services, 0);
    }
};

TEST_F(EditSessionTest, ClosesOnAnEarlyReturnAndOnAnException)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, false);
    const auto stopsEarly = [&] {
        auto session = begin();
        if (!session || session->context->label() == "Alpha") {
            return false; // the way out a front end takes when a check fails
        }
        return true;
    };
    EXPECT_FALSE(stopsEarly());
    EXPECT_EQ(mounted.size(), 0u) << "the editing entry left with the session";

    try {
        auto session = begin();
        ASSERT_TRUE(session);
        ASSERT_EQ(mounted.size(), 1u);
        throw std::runtime_error("dialog failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(EditSessionTest, MountedDriveKeepsItsEntryAndAMovedSessionClosesOnce)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    {
        auto session = begin();
        ASSERT_TRUE(session);
        EXPECT_TRUE(session->mounted);
    }
    EXPECT_EQ(mounted.mountedLetters(), std::vector<std::string>{"K:"});

    ASSERT_TRUE(drives::unmountRow(services, 0));
    auto first = begin();
    ASSERT_TRUE(first);
    drives::EditSession moved = std::move(*first);
    first.reset(); // the moved-from session owns nothing
    EXPECT_EQ(mounted.size(), 1u);
    moved.close();
    EXPECT_EQ(mounted.size(), 0u);
}

} // namespace
} // namespace kestrava::test
