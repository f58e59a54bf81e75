// What users and their programs can do to a mounted drive without losing anything: the drive's
// token survives writes and copies onto the root, every listed name can be opened and removed,
// what another user creates on a shared drive is theirs, and link counts are right at once.
#include "MountFixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::mount::test {
namespace {

using DriveSafetyMount = MountFixture;

std::string pw()
{
    return std::string(kPassword) + "\n";
}

TEST_F(DriveSafetyMount, RootTokenSurvivesWritesAndCopiesOntoTheRoot)
{
    createDrive();
    const std::string token = kestrava::test::readFile(back() / ".qxsession.xml");
    ASSERT_FALSE(token.empty());
    ASSERT_EQ(sh("echo keep > \"$M/x\"").exitCode, 0);
    const char* attempts[] = {
        "echo x > \"$M/.qxsession.xml\"",
        "echo x >> \"$M/.qxsession.xml\"",
        "truncate -s 0 \"$M/.qxsession.xml\"",
        "dd if=/dev/zero of=\"$M/.qxsession.xml\" bs=1 count=1 conv=notrunc status=none",
        "rm -f \"$M/.qxsession.xml\"",
        "mv \"$M/.qxsession.xml\" \"$M/moved\"",
        "mv \"$M/x\" \"$M/.qxsession.xml\"",
        "ln \"$M/.qxsession.xml\" \"$M/second\"",
        "ln -f \"$M/x\" \"$M/.qxsession.xml\"",
        "chmod 000 \"$M/.qxsession.xml\"",
        "chown 65534 \"$M/.qxsession.xml\"",
    };
    for (const char* attempt : attempts) {
        EXPECT_NE(sh(attempt).exitCode, 0) << attempt;
        EXPECT_EQ(kestrava::test::readFile(back() / ".qxsession.xml"), token) << attempt;
    }
    EXPECT_EQ(sh("cat \"$M/.qxsession.xml\"").output + "\n", token) << "reading stays allowed";

    // A copied folder that holds a token of its own: everything else arrives.
    const Shell copied = sh("mkdir \"$T/src\" && echo evil > \"$T/src/.qxsession.xml\" && "
                            "echo copied > \"$T/src/keep.txt\" && cp -a \"$T/src/.\" \"$M/\"");
    EXPECT_NE(copied.exitCode, 0) << "cp reports the one file it could not write";
    EXPECT_EQ(kestrava::test::readFile(back() / ".qxsession.xml"), token);
    EXPECT_EQ(sh("cat \"$M/keep.txt\" \"$M/x\"").output, "copied\nkeep");

    ASSERT_EQ(cli("unmount K:").exitCode, 0);
    EXPECT_EQ(kestrava::test::readFile(back() / ".qxsession.xml"), token);
    const Shell mounted = cli("--password-stdin mount K:", pw());
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    EXPECT_EQ(sh("cat \"$M/keep.txt\"").output, "copied");
}

TEST_F(DriveSafetyMount, EveryListedNameCanBeOpenedAndRemoved)
{
    createDrive();
    const Shell moved =
        sh("mkdir \"$M/sub\" && echo t > \"$M/sub/t\" && mv \"$M/sub/t\" \"$M/sub/.qxsession.xml\" && "
           "ls -la \"$M/sub\" && cat \"$M/sub/.qxsession.xml\" && rm \"$M/sub/.qxsession.xml\" && "
           "rmdir \"$M/sub\"");
    EXPECT_EQ(moved.exitCode, 0) << moved.output;
    EXPECT_EQ(moved.output.find('?'), std::string::npos) << moved.output;
    EXPECT_NE(moved.output.find(" .qxsession.xml\nt"), std::string::npos) << moved.output;

    // A token-named file an older build stored plain in a folder: listed, read, removed.
    ASSERT_EQ(sh("mkdir \"$M/old\"").exitCode, 0);
    std::filesystem::path stored;
    for (const auto& entry : std::filesystem::directory_iterator(back())) {
        // The only folder besides the warning folder (an encrypted name may start with 'D' too).
        if (entry.is_directory() && entry.path().filename() != "Do not directly copy files to this folder!") {
            stored = entry.path();
        }
    }
    ASSERT_FALSE(stored.empty());
    kestrava::test::writeFile(stored / ".qxsession.xml", "plain bytes");
    const Shell old = sh("ls -A \"$M/old\" && cat \"$M/old/.qxsession.xml\" && echo && rm -r \"$M/old\"");
    EXPECT_EQ(old.exitCode, 0) << old.output;
    EXPECT_EQ(old.output, ".qxsession.xml\nplain bytes");
    EXPECT_FALSE(std::filesystem::exists(stored));

    // Without name encryption the names the root listing hides cannot be made there; below
    // the root they are ordinary names and listed.
    const std::string password(kPassword);
    const Shell plain =
        sh("printf '%s\\n%s\\n' '" + password + "' '" + password +
           "' | $K --password-stdin --yes create \"$T/plain\" --letter L: --plain-names >/dev/null 2>&1\n"
           "L=\"$T/drives/L\"\n"
           "set +e\n"
           "mkdir \"$L/Do not directly copy files to this folder!\" 2>/dev/null && echo made\n"
           "touch \"$L/.qxsession.xml.replaced-20250101\" 2>/dev/null && echo made\n"
           "echo x > \"$L/x\"; mv \"$L/x\" \"$L/.qxsession.xml.replaced-1\" 2>/dev/null && echo made\n"
           "mkdir -p \"$L/d/Do not directly copy files to this folder!\"\n"
           "ls -A \"$L\" \"$L/d\"\n"
           "$K unmount L: >/dev/null");
    EXPECT_EQ(plain.exitCode, 0) << plain.output;
    EXPECT_EQ(plain.output, "/" + (dir() / "drives/L").relative_path().string() + ":\nd\nx\n\n/" +
                                (dir() / "drives/L/d").relative_path().string() +
                                ":\nDo not directly copy files to this folder!");
    EXPECT_FALSE(std::filesystem::exists(dir() / "plain" / ".qxsession.xml.replaced-20250101"));
}

// A shared mount: what another user makes is theirs, with their umask, as on a local disk.
TEST_F(DriveSafetyMount, WhatAnotherUserCreatesOnASharedDriveIsTheirs)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root: the drive is served by root and used by another user";
    }
    requirePrograms({"setpriv"});
    createDrive(false);
    const Shell mounted = cli("--password-stdin mount K: --allow-other", pw());
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    // The other user must reach the mount point.
    for (auto folder = mnt().parent_path(); folder != folder.root_path(); folder = folder.parent_path()) {
        struct stat st
        {
        };
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        ::chmod(folder.c_str(), (st.st_mode & 07777) | 0711);
    }
    ASSERT_EQ(sh("chmod 1777 \"$M\" && mkdir \"$M/grp\" && chgrp 4242 \"$M/grp\" && chmod 2777 \"$M/grp\"")
                  .exitCode,
              0);
    const Shell asOther = sh("setpriv --reuid=65534 --regid=65534 --clear-groups bash -c '"
                             "set -e; cd \"$0\"; umask 022; mkdir d; echo hi > f; ln -s f l; mkfifo p; "
                             "chmod 600 f; truncate -s 1 f; chmod 700 d; umask 077; touch u; "
                             "mkdir grp/sub; touch grp/g; rm l' \"$M\"");
    ASSERT_EQ(asOther.exitCode, 0) << asOther.output;
    const Shell owners = sh("cd \"$M\" && stat -c '%n %u:%g %a' d f p u grp/sub grp/g && stat -c %s f");
    EXPECT_EQ(owners.output, "d 65534:65534 700\n"
                             "f 65534:65534 600\n"
                             "p 65534:65534 644\n"
                             "u 65534:65534 600\n"
                             "grp/sub 65534:4242 2700\n"
                             "grp/g 65534:4242 600\n"
                             "1");
    EXPECT_EQ(cli("unmount K:").exitCode, 0);
}

TEST_F(DriveSafetyMount, LinkCountsAreRightAtOnce)
{
    createDrive();
    const Shell counts = sh("cd \"$M\" && echo x > a && stat -c %h a && ln a b && stat -c %h a && "
                            "mv b c && stat -c %h a c && mv a d && stat -c %h c d && "
                            "printf longer >> c && stat -c %s d && rm c && stat -c %h d");
    EXPECT_EQ(counts.exitCode, 0) << counts.output;
    EXPECT_EQ(counts.output, "1\n2\n2\n2\n2\n2\n8\n1");
}

} // namespace
} // namespace kestrava::mount::test
