#include "FuseMountFixture.h"

#include "core/host/FuseAvailability.h"
#include "core/host/MountTable.h"
#include "core/host/Process.h"

#include <chrono>
#include <vector>

namespace kestrava::fuse::test {

void FuseMountFixture::SetUp()
{
    if (!host::isFuseUsable()) {
        GTEST_SKIP() << "FUSE is unusable here (/dev/fuse cannot be opened or fusermount3 is missing): "
                        "real-mount tests skipped";
    }
    m_back = m_dir / "back";
    m_mnt = m_dir / "mnt";
    std::filesystem::create_directories(m_back);
    std::filesystem::create_directories(m_mnt);
    m_drive = behindTheBack();
    remount();
}

void FuseMountFixture::remount()
{
    m_session.reset();
    std::promise<void> ready;
    auto readyFuture = ready.get_future();
    SessionOptions options;
    options.mountPoint = m_mnt;
    options.label = "Adapter test";
    options.handleSignals = false;
    m_session = std::make_unique<MountSession>(*m_drive, options, [&ready] { ready.set_value(); });
    std::string error;
    ASSERT_TRUE(m_session->mount(error)) << error;
    std::packaged_task<int()> task([this] { return m_session->serve(); });
    m_result = task.get_future();
    m_loop = std::thread(std::move(task));
    m_joined = false;
    ASSERT_EQ(readyFuture.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

std::unique_ptr<fs::DriveFs> FuseMountFixture::behindTheBack() const
{
    const std::vector<unsigned char> key(32, 0x5a);
    return std::make_unique<fs::DriveFs>(crypto::ByteView(key.data(), key.size()), fsOptions(), m_back);
}

int FuseMountFixture::unmountAndJoin()
{
    if (m_joined) {
        return 0;
    }
    for (int attempt = 0; attempt < 50 && host::findMount(host::readMountTable(), m_mnt); ++attempt) {
        if (host::runProgram({"fusermount3", "-u", m_mnt.string()}).exitCode != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (host::findMount(host::readMountTable(), m_mnt)) {
        host::runProgram({"fusermount3", "-u", "-z", m_mnt.string()});
    }
    const bool ended = m_result.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!ended) {
        ADD_FAILURE() << "the FUSE loop did not end after the unmount";
        m_loop.detach();
        m_joined = true;
        return -1;
    }
    m_loop.join();
    m_joined = true;
    return m_result.get();
}

void FuseMountFixture::TearDown()
{
    unmountAndJoin();
    m_session.reset();
    m_drive.reset();
}

} // namespace kestrava::fuse::test
