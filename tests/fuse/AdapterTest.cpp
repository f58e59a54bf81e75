// The operation table behind a real mount: what programs see through the kernel must be what
// the file system layer does, errors included.
#include "FuseMountFixture.h"
#include "core/host/MountTable.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <map>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrava::fuse::test {
namespace {

std::string readAll(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return "<open failed: " + std::to_string(errno) + ">";
    }
    std::string data;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

void writeAll(const std::string& path, const std::string& data)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ASSERT_EQ(::close(fd), 0);
}

// The errno of a failing call, or 0 when it succeeded.
int errnoOf(const std::function<long()>& call)
{
    errno = 0;
    return call() < 0 ? errno : 0;
}

using AdapterTest = FuseMountFixture;

TEST_F(AdapterTest, MountShowsKestravaAndTheLabel)
{
    const auto entry = host::findMount(host::readMountTable(), mnt());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->fsType, host::kDriveFsType);
    EXPECT_EQ(entry->source, "kestrava:Adapter test");
    struct statvfs st
    {
    };
    ASSERT_EQ(::statvfs(mnt().c_str(), &st), 0);
    EXPECT_LT(st.f_namemax, 255u); // room for the name's encryption in a backing name
}

TEST_F(AdapterTest, ErrorsReachProgramsAsTheirErrno)
{
    writeAll(at("file"), "x");
    ASSERT_EQ(::mkdir(at("dir").c_str(), 0755), 0);
    writeAll(at("dir/inner"), "y");
    const std::string longName(230, 'n');
    char buffer[64];
    struct Case
    {
        const char* what;
        std::function<long()> call;
        int expected;
    };
    const std::vector<Case> cases = {
        {"open missing", [&] { return ::open(at("missing").c_str(), O_RDONLY); }, ENOENT},
        {"stat in missing folder",
         [&] {
             struct stat st
             {
             };
             return ::stat(at("nope/x").c_str(), &st);
         },
         ENOENT},
        {"mkdir existing", [&] { return ::mkdir(at("dir").c_str(), 0755); }, EEXIST},
        {"exclusive create", [&] { return ::open(at("file").c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644); },
         EEXIST},
        {"rmdir non-empty", [&] { return ::rmdir(at("dir").c_str()); }, ENOTEMPTY},
        {"rmdir a file", [&] { return ::rmdir(at("file").c_str()); }, ENOTDIR},
        {"readlink a file", [&] { return ::readlink(at("file").c_str(), buffer, sizeof buffer); }, EINVAL},
        {"name too long once encrypted",
         [&] { return ::open(at(longName).c_str(), O_CREAT | O_WRONLY, 0644); }, ENAMETOOLONG},
        {"missing attribute",
         [&] { return ::getxattr(at("file").c_str(), "user.none", buffer, sizeof buffer); }, ENODATA},
        {"rename without replacing",
         [&] {
             return ::renameat2(AT_FDCWD, at("file").c_str(), AT_FDCWD, at("dir/inner").c_str(),
                                RENAME_NOREPLACE);
         },
         EEXIST},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errnoOf(c.call), c.expected) << c.what << ": " << std::strerror(errnoOf(c.call));
    }
    EXPECT_EQ(readAll(at("file")), "x");
    EXPECT_EQ(readAll(at("dir/inner")), "y");
}

TEST_F(AdapterTest, ContentsSurviveOddWritesAcrossBlocksAndMatchTheFileSystemLayer)
{
    const std::string data = kestrava::test::randomBytes(3 * 1024 * 1024 + 777, 1);
    const int fd = ::open(at("big.bin").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    std::size_t offset = 0;
    std::size_t chunk = 1;
    while (offset < data.size()) {
        const std::size_t n = std::min(chunk, data.size() - offset);
        ASSERT_EQ(::pwrite(fd, data.data() + offset, n, static_cast<off_t>(offset)), static_cast<ssize_t>(n));
        offset += n;
        chunk = chunk * 3 + 1001; // sizes that straddle 4096-byte blocks in every way
    }
    ASSERT_EQ(::close(fd), 0);
    EXPECT_EQ(readAll(at("big.bin")), data);

    std::uint64_t handle = 0;
    ASSERT_EQ(drive().open("/big.bin", O_RDONLY, &handle), 0);
    std::string direct(data.size(), '\0');
    EXPECT_EQ(drive().read(handle, direct.data(), direct.size(), 0), static_cast<ssize_t>(data.size()));
    drive().release(handle);
    EXPECT_EQ(direct, data);

    // Overwrite in the middle, then extend by truncation: the gap reads as zeros.
    const int again = ::open(at("big.bin").c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(again, "MIDDLE", 6, 4093), 6);
    ASSERT_EQ(::ftruncate(again, static_cast<off_t>(data.size() + 10000)), 0);
    ::close(again);
    std::string expected = data;
    expected.replace(4093, 6, "MIDDLE");
    expected.append(10000, '\0');
    EXPECT_EQ(readAll(at("big.bin")), expected);
}

TEST_F(AdapterTest, ListingsCarryNamesTypesAndSizes)
{
    ASSERT_EQ(::mkdir(at("folder").c_str(), 0750), 0);
    writeAll(at("folder/a.txt"), "alpha");
    writeAll(at("folder/Über ünïcode.txt"), std::string(5000, 'u'));
    ASSERT_EQ(::symlink("a.txt", at("folder/link").c_str()), 0);
    ASSERT_EQ(::mkdir(at("folder/sub").c_str(), 0700), 0);

    std::set<std::string> names;
    DIR* dir = ::opendir(at("folder").c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        names.insert(entry->d_name);
        if (std::string(entry->d_name) == "sub") {
            EXPECT_EQ(entry->d_type, DT_DIR);
        }
        if (std::string(entry->d_name) == "link") {
            EXPECT_EQ(entry->d_type, DT_LNK);
        }
    }
    ::closedir(dir);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.txt", "Über ünïcode.txt", "link", "sub"}));

    struct stat st
    {
    };
    ASSERT_EQ(::stat(at("folder/Über ünïcode.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 5000);
    ASSERT_EQ(::stat(at("folder").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    char target[64] = {};
    ASSERT_EQ(::readlink(at("folder/link").c_str(), target, sizeof target - 1), 5);
    EXPECT_STREQ(target, "a.txt");
    EXPECT_EQ(readAll(at("folder/link")), "alpha");

    // Nothing in the backing folder gives a plain name away.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(back())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("a.txt"), std::string::npos);
        EXPECT_EQ(name.find("folder"), std::string::npos);
    }
}

TEST_F(AdapterTest, RenamesLinksAttributesAndModes)
{
    writeAll(at("one"), "first");
    ASSERT_EQ(::link(at("one").c_str(), at("two").c_str()), 0);
    writeAll(at("two"), "changed through the link");
    EXPECT_EQ(readAll(at("one")), "changed through the link");
    struct stat a
    {
    };
    struct stat b
    {
    };
    ASSERT_EQ(::stat(at("one").c_str(), &a), 0);
    ASSERT_EQ(::stat(at("two").c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_nlink, 2u);

    writeAll(at("three"), "third");
    ASSERT_EQ(::rename(at("three").c_str(), at("one").c_str()), 0);
    EXPECT_EQ(readAll(at("one")), "third");
    EXPECT_EQ(errnoOf([&] { return ::access(at("three").c_str(), F_OK); }), ENOENT);

    ASSERT_EQ(::setxattr(at("one").c_str(), "user.note", "remember", 8, 0), 0);
    char value[32] = {};
    ASSERT_EQ(::getxattr(at("one").c_str(), "user.note", value, sizeof value), 8);
    EXPECT_STREQ(value, "remember");
    char list[128] = {};
    const ssize_t listed = ::listxattr(at("one").c_str(), list, sizeof list);
    EXPECT_NE(std::string(list, static_cast<std::size_t>(std::max<ssize_t>(listed, 0))).find("user.note"),
              std::string::npos);
    ASSERT_EQ(::removexattr(at("one").c_str(), "user.note"), 0);

    ASSERT_EQ(::chmod(at("one").c_str(), 0640), 0);
    ASSERT_EQ(::stat(at("one").c_str(), &a), 0);
    EXPECT_EQ(a.st_mode & 07777, 0640u);
    const timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at("one").c_str(), times, 0), 0);
    ASSERT_EQ(::stat(at("one").c_str(), &a), 0);
    EXPECT_EQ(a.st_mtim.tv_sec, 1234567890);
}

TEST_F(AdapterTest, HardLinksAreOneFileUnderEveryNameAtOnce)
{
    ASSERT_EQ(::mkdir(at("d").c_str(), 0755), 0);
    writeAll(at("d/a"), "1");
    ASSERT_EQ(::link(at("d/a").c_str(), at("b").c_str()), 0);
    ASSERT_EQ(::link(at("b").c_str(), at("d/c").c_str()), 0);
    struct stat st
    {
    };
    // Every name shows the change made through another at once, not after the cache time.
    const auto check = [&](const char* name, nlink_t links, off_t size) {
        ASSERT_EQ(::stat(at(name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_nlink, links) << name;
        EXPECT_EQ(st.st_size, size) << name;
    };
    check("d/a", 3, 1);
    const int fd = ::open(at("d/c").c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(::write(fd, "23", 2), 2);
    ::close(fd);
    check("b", 3, 3);
    ASSERT_EQ(::rename(at("d").c_str(), at("e").c_str()), 0);
    ASSERT_EQ(::unlink(at("e/a").c_str()), 0);
    check("e/c", 2, 3);
    ASSERT_EQ(::truncate(at("b").c_str(), 1), 0);
    ASSERT_EQ(::chmod(at("e/c").c_str(), 0600), 0);
    check("e/c", 2, 1);
    ASSERT_EQ(::stat(at("b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(readAll(at("e/c")), "1");
    // A folder's own count: its entry in the parent, "." and each subfolder's "..".
    ASSERT_EQ(::mkdir(at("e/sub").c_str(), 0755), 0);
    ASSERT_EQ(::stat(at("e").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 3u);
}

TEST_F(AdapterTest, LongListingsCarryEveryEntryOnceWithItsOwnAttributes)
{
    // More entries than one kernel buffer holds, so the listing continues from an offset.
    constexpr int kFiles = 300;
    ASSERT_EQ(::mkdir(at("many").c_str(), 0755), 0);
    for (int i = 0; i < kFiles; ++i) {
        writeAll(at("many/file number " + std::to_string(i)), std::string(static_cast<std::size_t>(i), 'x'));
    }
    ASSERT_EQ(::mkdir(at("many/sub").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("file number 1", at("many/link").c_str()), 0);
    // Ask afresh: the entries' attributes must come from the listing, not from earlier lookups.
    ASSERT_EQ(unmountAndJoin(), 0);
    remount();

    DIR* dir = ::opendir(at("many").c_str());
    ASSERT_NE(dir, nullptr);
    std::map<std::string, int> seen;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        ++seen[name];
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st
        {
        };
        ASSERT_EQ(::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW), 0) << name;
        EXPECT_EQ(entry->d_ino, st.st_ino) << name;
        if (name.starts_with("file number ")) {
            EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
            EXPECT_EQ(st.st_size, std::stoi(name.substr(12))) << name;
        } else if (name == "sub") {
            EXPECT_EQ(st.st_mode, S_IFDIR | 0700u);
        } else {
            EXPECT_EQ(name, "link");
            EXPECT_TRUE(S_ISLNK(st.st_mode));
            EXPECT_EQ(st.st_size, 13); // the plain target's length, not the stored one's
        }
    }
    // A rewound listing starts over.
    ::rewinddir(dir);
    int again = 0;
    while (::readdir(dir) != nullptr) {
        ++again;
    }
    ::closedir(dir);
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kFiles + 4));
    for (const auto& [name, count] : seen) {
        EXPECT_EQ(count, 1) << name;
    }
    EXPECT_EQ(again, kFiles + 4);
}

TEST_F(AdapterTest, NamesInAnotherCaseReachTheSameEntries)
{
    ASSERT_EQ(::mkdir(at("Folder").c_str(), 0755), 0);
    writeAll(at("Folder/Read Me.TXT"), "case");
    EXPECT_EQ(readAll(at("folder/read me.txt")), "case");
    writeAll(at("FOLDER/READ ME.txt"), "rewritten"); // the same file, not a second one
    EXPECT_EQ(readAll(at("Folder/Read Me.TXT")), "rewritten");
    struct stat a
    {
    };
    struct stat b
    {
    };
    ASSERT_EQ(::stat(at("Folder").c_str(), &a), 0);
    ASSERT_EQ(::stat(at("fOLDER").c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    ASSERT_EQ(::rename(at("folder/read me.txt").c_str(), at("FOLDER/renamed").c_str()), 0);
    std::set<std::string> names;
    DIR* dir = ::opendir(at("Folder").c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        names.insert(entry->d_name);
    }
    ::closedir(dir);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "renamed"}));
    ASSERT_EQ(::unlink(at("folder/RENAMED").c_str()), 0);
    ASSERT_EQ(::rmdir(at("FOLDER").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(back()));
}

TEST_F(AdapterTest, UnlinkedOpenFileStaysUsableAndLeavesNothingBehind)
{
    writeAll(at("temp"), "still here");
    const int fd = ::open(at("temp").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::unlink(at("temp").c_str()), 0);
    char buffer[16] = {};
    EXPECT_EQ(::pread(fd, buffer, 10, 0), 10);
    EXPECT_STREQ(buffer, "still here");
    EXPECT_EQ(::pwrite(fd, "STILL", 5, 0), 5);
    struct stat st
    {
    };
    EXPECT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 10);
    ::close(fd);
    EXPECT_EQ(errnoOf([&] { return ::access(at("temp").c_str(), F_OK); }), ENOENT);
    // Once the last handle is released (the kernel does that just after close), nothing of
    // the unlinked file remains in the backing folder.
    for (int i = 0; i < 100 && !std::filesystem::is_empty(back()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(std::filesystem::is_empty(back()));
}

// Write-only handles bypass the page cache; what they write must still show at once through
// handles that read or map the file, and through a new opening.
TEST_F(AdapterTest, WritesThroughWriteOnlyHandlesShowEverywhereAtOnce)
{
    const std::string path = at("shared.bin");
    writeAll(path, std::string(3 * 4096, 'a'));
    const int reader = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(reader, 0);
    char got[4096];
    ASSERT_EQ(::pread(reader, got, sizeof got, 4096), 4096); // now cached
    void* mapped = ::mmap(nullptr, 3 * 4096, PROT_READ, MAP_SHARED, reader, 0);
    ASSERT_NE(mapped, MAP_FAILED) << std::strerror(errno);
    EXPECT_EQ(static_cast<const char*>(mapped)[4096], 'a');

    const int writer = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string fresh = kestrava::test::randomBytes(5000, 7);
    ASSERT_EQ(::pwrite(writer, fresh.data(), fresh.size(), 4000), static_cast<ssize_t>(fresh.size()));
    const int appender = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(appender, 0);
    ASSERT_EQ(::write(appender, "tail", 4), 4);

    ASSERT_EQ(::pread(reader, got, sizeof got, 4096), 4096);
    EXPECT_EQ(std::string(got, sizeof got), fresh.substr(96, 4096));
    EXPECT_EQ(std::string(static_cast<const char*>(mapped) + 4000, fresh.size()), fresh);
    struct stat st
    {
    };
    ASSERT_EQ(::fstat(reader, &st), 0);
    EXPECT_EQ(st.st_size, 3 * 4096 + 4);
    std::string expected = std::string(4000, 'a') + fresh + std::string(3 * 4096 - 9000, 'a') + "tail";
    EXPECT_EQ(readAll(path), expected);

    ::munmap(mapped, 3 * 4096);
    EXPECT_EQ(::close(appender), 0);
    EXPECT_EQ(::close(writer), 0);
    EXPECT_EQ(::close(reader), 0);
}

// copy_file_range(2) between files of the drive reaches the drive's own copy: programs such
// as cp use it, and the kernel passes it on.
TEST_F(AdapterTest, CopyFileRangeBetweenFilesOfTheDrive)
{
    const std::string source = kestrava::test::randomBytes(3 * 1024 * 1024 + 123, 11);
    writeAll(at("from"), source);
    writeAll(at("to"), std::string(5000, 'd'));
    const int in = ::open(at("from").c_str(), O_RDONLY);
    const int out = ::open(at("to").c_str(), O_RDWR);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    loff_t inPos = 0;
    loff_t outPos = 0;
    std::size_t copied = 0;
    while (copied < source.size()) {
        const ssize_t n = ::copy_file_range(in, &inPos, out, &outPos, source.size() - copied, 0);
        ASSERT_GT(n, 0) << std::strerror(errno);
        copied += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(readAll(at("to")), source);

    // Unaligned, inside the target: the bytes around the copied range stay.
    inPos = 10;
    outPos = 4000;
    ASSERT_EQ(::copy_file_range(in, &inPos, out, &outPos, 9000, 0), 9000);
    std::string expected = source;
    expected.replace(4000, 9000, source.substr(10, 9000));
    EXPECT_EQ(readAll(at("to")), expected);
    ::close(in);
    ::close(out);
}

// A close on a network or FUSE file system may report a late write error: a drive whose
// backing folder lies on one keeps the flush that passes it on; on a local disk there is none.
TEST_F(AdapterTest, FlushIsKeptWhereTheBackingFolderMayReportOnClose)
{
    ASSERT_EQ(::mkdir(at("inner").c_str(), 0755), 0);
    const std::vector<unsigned char> key(32, 0x33);
    const fs::DriveFs nested(crypto::ByteView(key.data(), key.size()), {}, mnt() / "inner");
    EXPECT_TRUE(nested.flushMayFail()) << "backing folder on a FUSE drive";
    struct statfs shm
    {
    };
    if (::statfs("/dev/shm", &shm) == 0 && shm.f_type == TMPFS_MAGIC) {
        const fs::DriveFs onShm(crypto::ByteView(key.data(), key.size()), {}, "/dev/shm");
        EXPECT_FALSE(onShm.flushMayFail()) << "backing folder on tmpfs";
    }
}

TEST_F(AdapterTest, ManyThreadsAtOnce)
{
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string data = kestrava::test::randomBytes(300000 + static_cast<std::size_t>(t) * 1000,
                                                                 static_cast<unsigned>(t));
            const std::string path = at("t" + std::to_string(t));
            for (int round = 0; round < 3; ++round) {
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
                    ++failures;
                }
                ::close(fd);
                if (readAll(path) != data) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(AdapterTest, UnmountFromOutsideEndsTheLoopCleanly)
{
    writeAll(at("kept"), "kept");
    EXPECT_EQ(unmountAndJoin(), 0);
    EXPECT_FALSE(host::findMount(host::readMountTable(), mnt()));
    EXPECT_TRUE(std::filesystem::is_empty(mnt()));
    EXPECT_FALSE(std::filesystem::is_empty(back()));
}

} // namespace
} // namespace kestrava::fuse::test
