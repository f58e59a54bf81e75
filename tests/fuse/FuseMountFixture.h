// A DriveFs over a temporary folder, mounted in this process with the drive's operation table
// and served on its own thread. Skips when FUSE is unusable; always unmounts in TearDown.
#pragma once

#include "core/fs/DriveFs.h"
#include "fuse/MountSession.h"
#include "support/TestSupport.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace kestrava::fuse::test {

class FuseMountFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Unmounts from outside, as a user would, and waits for the loop to end; its result.
    int unmountAndJoin();
    // Mounts the drive again (after unmountAndJoin): the kernel starts with no nodes.
    void remount();

    const std::filesystem::path& mnt() const { return m_mnt; }
    const std::filesystem::path& back() const { return m_back; }
    std::string at(const std::string& relative) const { return (m_mnt / relative).string(); }
    fs::DriveFs& drive() { return *m_drive; }
    // A second DriveFs over the same backing folder, not mounted: it changes the folder
    // behind the drive's back, as a sync client does.
    std::unique_ptr<fs::DriveFs> behindTheBack() const;

    virtual fs::FsOptions fsOptions() const { return {}; }

private:
    kestrava::test::TempDir m_dir;
    std::filesystem::path m_back;
    std::filesystem::path m_mnt;
    std::unique_ptr<fs::DriveFs> m_drive;
    std::unique_ptr<MountSession> m_session;
    std::thread m_loop;
    std::future<int> m_result;
    bool m_joined = true;
};

} // namespace kestrava::fuse::test
