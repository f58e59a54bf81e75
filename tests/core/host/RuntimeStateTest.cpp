#include "core/host/RuntimeState.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrava::host {
namespace {

using test::ScopedEnv;
using test::TempDir;

TEST(RuntimeStateTest, StateRoundTripsAwkwardValues)
{
    const ServeState state{4242, "K:", "/m/K", "/data/back\\slash\nnewline", "Label = with\nlines"};
    const auto parsed = parseServeState(formatServeState(state));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->pid, 4242);
    EXPECT_EQ(parsed->letter, "K:");
    EXPECT_EQ(parsed->mountPoint, "/m/K");
    EXPECT_EQ(parsed->backingFolder, state.backingFolder);
    EXPECT_EQ(parsed->label, state.label);
}

TEST(RuntimeStateTest, RejectsStateWithoutPidOrMountPoint)
{
    EXPECT_FALSE(parseServeState(""));
    EXPECT_FALSE(parseServeState("mountpoint=/m/K\n"));
    EXPECT_FALSE(parseServeState("pid=12x\nmountpoint=/m/K\n"));
    EXPECT_FALSE(parseServeState("pid=-3\nmountpoint=/m/K\n"));
    EXPECT_FALSE(parseServeState("pid=12\n"));
    EXPECT_TRUE(parseServeState("pid=12\nmountpoint=/m/K\nunknown=1\nno equals sign\n"));
}

TEST(RuntimeStateTest, FolderIsPrivateAndFilesAreKeyedByMountPoint)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0700);
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().string());
    const auto folder = runtimeFolder();
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, dir / "kestrava");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(folder->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(stateFileFor(*folder, "/a/K"), stateFileFor(*folder, "/b/K"));
    EXPECT_EQ(stateFileFor(*folder, "/a/K"), stateFileFor(*folder, "/a/./K"));
    EXPECT_EQ(stateFileFor(*folder, "/a/K").filename().string().substr(0, 2), "K-");

    const ServeState state{77, "K:", "/a/K", "/back", "L"};
    ASSERT_TRUE(writeServeState(stateFileFor(*folder, "/a/K"), state));
    const auto read = readServeState(stateFileFor(*folder, "/a/K"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->pid, 77);
    EXPECT_FALSE(readServeState(stateFileFor(*folder, "/b/K")));
}

TEST(RuntimeStateTest, FallsBackWhenTheRuntimeFolderIsNotPrivate)
{
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().string());
    const auto folder = runtimeFolder();
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->parent_path(), "/tmp");
}

TEST(RuntimeStateTest, LockIsExclusiveUntilReleased)
{
    TempDir dir;
    const auto file = dir / "K.lock";
    EXPECT_FALSE(isLockHeld(file));
    {
        ServeLock first(file);
        ASSERT_TRUE(first.isHeld());
        EXPECT_TRUE(isLockHeld(file));
        ServeLock second(file);
        EXPECT_FALSE(second.isHeld());
    }
    EXPECT_FALSE(isLockHeld(file));
    ServeLock again(file);
    EXPECT_TRUE(again.isHeld());
}

} // namespace
} // namespace kestrava::host
