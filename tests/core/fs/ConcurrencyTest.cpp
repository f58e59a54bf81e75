// Two handles writing into the same blocks at once lose neither write.
#include "FsTestSupport.h"

#include <thread>

namespace kestrava::fs::test {
namespace {

class Concurrency : public BothFormats
{
};
KESTRAVA_BOTH_FORMATS(Concurrency);

TEST_P(Concurrency, InterleavedWritesIntoSharedBlocksMatchSerialModel)
{
    // Each thread owns every other 100-byte slot, so the slots never overlap but every block
    // is written by both; some writes also grow the file.
    constexpr std::size_t kSlot = 100;
    constexpr std::size_t kSlots = 400;
    std::string model(kSlot * kSlots, '\0');
    std::uint64_t handles[2] = {};
    ASSERT_EQ(fs->create("/shared.bin", 0644, O_RDWR, &handles[0]), 0);
    ASSERT_EQ(fs->open("/shared.bin", O_RDWR, &handles[1]), 0);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (std::size_t slot = static_cast<std::size_t>(t); slot < kSlots; slot += 2) {
                    const std::string data(kSlot, static_cast<char>('a' + t * 10 + round));
                    const off_t at = static_cast<off_t>(slot * kSlot);
                    failures += fs->write(handles[t], data.data(), kSlot, at) != static_cast<ssize_t>(kSlot);
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        model.replace(slot * kSlot, kSlot, std::string(kSlot, static_cast<char>('a' + (slot % 2) * 10 + 2)));
    }
    EXPECT_EQ(failures.load(), 0);
    fs->release(handles[0]);
    fs->release(handles[1]);
    EXPECT_EQ(get("/shared.bin"), model);
    if (compatible()) {
        EXPECT_EQ(stored("/shared.bin"), referenceContent(key, model));
    }
}

} // namespace
} // namespace kestrava::fs::test
