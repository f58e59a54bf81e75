// A hardened drive on a real mount: what is changed in its backing folder behind its back
// reads as an input/output error through the mounted drive, never as other data.
#include "MountFixture.h"

#include <algorithm>
#include <filesystem>
#include <functional>

namespace kestrava::mount::test {
namespace {

class HardenedMount : public MountFixture
{
protected:
    // The backing file of the one regular file in the drive's root that is not in `known`.
    std::filesystem::path newBackingFile(const std::vector<std::filesystem::path>& known)
    {
        for (const auto& e : std::filesystem::directory_iterator(back())) {
            const std::string name = e.path().filename().string();
            if (e.is_regular_file() && !name.starts_with(".qxsession") && !name.starts_with("kestrava.") &&
                std::find(known.begin(), known.end(), e.path()) == known.end()) {
                return e.path();
            }
        }
        return {};
    }

    // Unmounts, lets `tamper` change the backing folder, mounts again (so no cached page
    // hides the change) and reads the file through the drive.
    Shell remountAndRead(const std::function<void()>& tamper, const std::string& file)
    {
        EXPECT_EQ(cli("unmount K:").exitCode, 0);
        tamper();
        const Shell mounted = cli("--password-stdin mount K:", std::string(kPassword) + "\n");
        EXPECT_EQ(mounted.exitCode, 0) << mounted.output;
        return sh("cat \"$M/" + file + "\" > /dev/null");
    }
};

TEST_F(HardenedMount, ChangedSwappedAndCutContentsReadAsIoErrors)
{
    createDrive(true, "--format hardened");
    ASSERT_EQ(sh("head -c 12288 /dev/urandom > \"$M/a\"").exitCode, 0);
    ASSERT_EQ(sh("sync").exitCode, 0);
    const std::filesystem::path a = newBackingFile({});
    ASSERT_FALSE(a.empty());
    ASSERT_EQ(sh("cp \"$M/a\" \"$M/b\" && sync").exitCode, 0);
    const std::filesystem::path b = newBackingFile({a});
    ASSERT_FALSE(b.empty());
    // Everything written reaches the backing folder before it is looked at.
    const Shell unmounted = cli("unmount K:");
    ASSERT_EQ(unmounted.exitCode, 0) << unmounted.output;
    const Shell mounted = cli("--password-stdin mount K:", std::string(kPassword) + "\n");
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    const std::string originalA = kestrava::test::readFile(a);
    const std::string originalB = kestrava::test::readFile(b);
    ASSERT_EQ(originalA.size(), originalB.size());
    EXPECT_NE(originalA.substr(18), originalB.substr(18)) << "equal files are stored differently";
    constexpr std::size_t kHeader = 18;
    constexpr std::size_t kBlock = 4124;

    const auto expectIoError = [&](const char* what, const std::function<void()>& tamper) {
        const Shell read = remountAndRead(tamper, "a");
        EXPECT_NE(read.exitCode, 0) << what;
        EXPECT_NE(read.output.find("Input/output error"), std::string::npos) << what << ": " << read.output;
        kestrava::test::writeFile(a, originalA);
        kestrava::test::writeFile(b, originalB);
    };
    expectIoError("a flipped byte", [&] {
        std::string changed = originalA;
        changed[kHeader + kBlock + 77] ^= 0x01;
        kestrava::test::writeFile(a, changed);
    });
    expectIoError("two blocks swapped", [&] {
        std::string changed = originalA;
        changed.replace(kHeader, kBlock, originalA.substr(kHeader + kBlock, kBlock));
        changed.replace(kHeader + kBlock, kBlock, originalA.substr(kHeader, kBlock));
        kestrava::test::writeFile(a, changed);
    });
    expectIoError("the contents of two files swapped", [&] {
        kestrava::test::writeFile(a, originalA.substr(0, kHeader) + originalB.substr(kHeader));
        kestrava::test::writeFile(b, originalB.substr(0, kHeader) + originalA.substr(kHeader));
    });
    expectIoError("cut at a block boundary",
                  [&] { kestrava::test::writeFile(a, originalA.substr(0, kHeader + kBlock)); });

    const Shell intact = remountAndRead([] {}, "a");
    EXPECT_EQ(intact.exitCode, 0) << "restored, the file reads again: " << intact.output;
    EXPECT_EQ(sh("cmp \"$M/a\" \"$M/b\"").exitCode, 0);
}

TEST_F(HardenedMount, EverydayUseWorksLikeACompatibleDrive)
{
    createDrive(true, "--format hardened");
    const Shell used =
        sh("mkdir -p \"$M/docs/deep\" && printf hello > \"$M/docs/deep/x.txt\" && "
           "head -c 100000 /dev/urandom > \"$T/r\" && cp \"$T/r\" \"$M/docs/r\" && "
           "cmp \"$T/r\" \"$M/docs/r\" && mv \"$M/docs/r\" \"$M/r2\" && cmp \"$T/r\" \"$M/r2\" && "
           "truncate -s 5000 \"$M/r2\" && head -c 5000 \"$T/r\" | cmp - \"$M/r2\" && "
           "echo more >> \"$M/docs/deep/x.txt\" && ln -s docs/deep/x.txt \"$M/l\" && cat \"$M/l\" && "
           "rm -r \"$M/docs\" && ls -A \"$M\"");
    ASSERT_EQ(used.exitCode, 0) << used.output;
    EXPECT_EQ(used.output, "hellomore\nl\nr2");
}

} // namespace
} // namespace kestrava::mount::test
