// A drive used by real programs through the kernel, unmounted, mounted again and checked:
// everything reads back identical and the backing folder holds only ciphertext.
#include "MountFixture.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

#include <algorithm>
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <regex>
#include <set>

namespace kestrava::mount::test {
namespace {

// Builds a tree with text, binary and empty files, odd sizes, a symlink and modes to keep.
constexpr const char* kMakeTree = R"SH(
mkdir -p "$T/tree/a/b/c" "$T/tree/empty dir"
head -c 1000000 /dev/urandom > "$T/tree/a/random.bin"
head -c 4097 /dev/urandom > "$T/tree/a/b/edge.bin"
: > "$T/tree/a/b/c/empty"
seq 1 20000 > "$T/tree/numbers.txt"
echo 'späte Grüße' > "$T/tree/a/ünïcode name.txt"
chmod 0640 "$T/tree/numbers.txt"
chmod 0700 "$T/tree/a/b"
ln -s ../numbers.txt "$T/tree/a/link"
)SH";

// The workload on the mounted drive.
constexpr const char* kUseDrive = R"SH(
cp -a "$T/tree" "$M/tree"
diff -r --no-dereference "$T/tree" "$M/tree"

git -c init.defaultBranch=main init -q "$M/repo"
cd "$M/repo"
git config user.email test@example.invalid
git config user.name Test
for i in 1 2 3; do
    seq 1 $((i * 1000)) > file$i.txt
    git add . && git commit -q -m "commit $i"
done
git mv file1.txt renamed.txt && git commit -q -m "rename"
test "$(git rev-list --count HEAD)" = 4
git fsck --strict --no-progress
cd /

sqlite3 "$M/db.sqlite" 'PRAGMA journal_mode=WAL; CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);' > /dev/null
sqlite3 "$M/db.sqlite" "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 20000)
    INSERT INTO t(v) SELECT printf('row %d', i) FROM n; COMMIT;"
sqlite3 "$M/db.sqlite" "UPDATE t SET v = v || '!' WHERE id % 7 = 0; DELETE FROM t WHERE id % 11 = 0;"
test "$(sqlite3 "$M/db.sqlite" 'PRAGMA integrity_check;')" = ok
sqlite3 "$M/db.sqlite" 'SELECT count(*), sum(id) FROM t;' > "$T/sqlite-before"

rsync -a "$T/tree/" "$M/rsynced/"
echo changed >> "$T/tree/numbers.txt"
rsync -a --delete "$T/tree/" "$M/rsynced/"
diff -r --no-dereference "$T/tree" "$M/rsynced"

fio --name=verify --directory="$M" --size=8m --bs=4k --rw=randwrite --ioengine=psync --fallocate=none \
    --numjobs=4 --verify=crc32c --verify_fatal=1 --do_verify=1 --group_reporting --output="$T/fio.log"
! grep -qi 'verify.*fail\|bad magic\|crc32c.*mismatch' "$T/fio.log"

head -c 10007 /dev/urandom > "$M/plain.bin"
cp "$M/plain.bin" "$T/plain.bin"

cd "$M" && find . -path ./repo/.git -prune -o -print | LC_ALL=C sort > "$T/names-before"
cd "$M" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum > "$T/sums-before"
)SH";

// After unmounting and mounting again.
constexpr const char* kCheckAgain = R"SH(
cd "$M" && find . -path ./repo/.git -prune -o -print | LC_ALL=C sort > "$T/names-after"
cd "$M" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum > "$T/sums-after"
diff "$T/names-before" "$T/names-after"
diff "$T/sums-before" "$T/sums-after"
diff -r --no-dereference "$T/tree" "$M/rsynced"
cd "$M/repo" && git fsck --strict --no-progress && test "$(git log --format=%s -1)" = rename
test "$(sqlite3 "$M/db.sqlite" 'PRAGMA integrity_check;')" = ok
sqlite3 "$M/db.sqlite" 'SELECT count(*), sum(id) FROM t;' | diff "$T/sqlite-before" -
)SH";

std::string decryptContent(const std::string& stored, const crypto::SecureBytes& key)
{
    std::string plain(stored.size(), '\0');
    const CryptoPP::byte iv[16] = {};
    for (std::size_t offset = 0; offset < stored.size(); offset += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, stored.size() - offset);
        CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption cfb(key.data(), key.size(), iv);
        cfb.ProcessData(reinterpret_cast<CryptoPP::byte*>(plain.data() + offset),
                        reinterpret_cast<const CryptoPP::byte*>(stored.data() + offset), n);
    }
    return plain;
}

using RealProgramsTest = MountFixture;

TEST_F(RealProgramsTest, ProgramsWorkOnTheDriveAndEverythingReadsBackAfterRemounting)
{
    requirePrograms({"git", "sqlite3", "rsync", "fio", "diff", "sha256sum"});
    if (IsSkipped()) {
        return;
    }
    ASSERT_EQ(sh(kMakeTree).exitCode, 0);
    createDrive();
    if (HasFatalFailure()) {
        return;
    }
    const Shell used = sh(kUseDrive, 200);
    ASSERT_EQ(used.exitCode, 0) << used.output << "\n" << sh("cat \"$T/fio.log\" 2>/dev/null").output;

    const Shell unmounted = cli("unmount K:");
    ASSERT_EQ(unmounted.exitCode, 0) << unmounted.output;
    EXPECT_FALSE(isMounted());
    EXPECT_TRUE(serversEnded());

    // The backing folder: the token, the warning folder, and encrypted names only.
    const std::regex encrypted("[A-Za-z0-9_=-]+");
    const std::set<std::string> plainNames{"tree",      "repo",        "db.sqlite",  "rsynced",
                                           "plain.bin", "numbers.txt", "random.bin", "file2.txt",
                                           "HEAD",      "objects",     "verify.0.0"};
    std::string stored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(back())) {
        const auto relative = entry.path().lexically_relative(back());
        const std::string first = relative.begin()->string();
        if (first == ".qxsession.xml" || first == "Do not directly copy files to this folder!") {
            continue;
        }
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(std::regex_match(name, encrypted)) << relative;
        EXPECT_EQ(plainNames.count(name), 0u) << relative;
        if (entry.is_regular_file() && entry.file_size() == 10007 && relative.parent_path().empty()) {
            stored = kestrava::test::readFile(entry.path());
        }
    }

    // One file decrypted here, straight from the backing folder.
    token::DriveContext context(hashStr(kPassword));
    ASSERT_EQ(context.unlock(token::tokenPathFor(back())), token::TokenLoadStatus::Loaded);
    ASSERT_EQ(stored.size(), 10007u);
    EXPECT_EQ(decryptContent(stored, context.masterKey()), kestrava::test::readFile(dir() / "plain.bin"));

    const Shell mounted = cli("--password-stdin mount K:", std::string(kPassword) + "\n");
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    const Shell checked = sh(kCheckAgain);
    EXPECT_EQ(checked.exitCode, 0) << checked.output;
    EXPECT_EQ(cli("unmount K:").exitCode, 0);
}

} // namespace
} // namespace kestrava::mount::test
