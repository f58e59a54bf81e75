// Sync clients' conflict copies: how their names are recognised and shown, and that the drive
// reads, writes, renames and deletes them like any file while real entries keep their names.
#include "FsTestSupport.h"
#include "core/crypto/Cfb.h"
#include "core/fs/ConflictIndex.h"
#include "core/fs/ConflictNames.h"
#include "core/fs/NameCipher.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace kestrava::fs::test {
namespace {

namespace stdfs = std::filesystem;

// The name rules over this test's key, with names computed independently of the drive.
class ConflictNameRules : public ::testing::Test
{
protected:
    std::string enc(const std::string& plain) const { return referenceName(key, plain); }
    std::optional<ConflictCopy> recognise(const std::string& backing) const
    {
        return recogniseConflictCopy(backing,
                                     [this](std::string_view text) { return names.decryptExactName(text); });
    }

    std::vector<crypto::Byte> key = testKey();
    crypto::CfbCipher cipher{crypto::ByteView(key.data(), key.size())};
    NameCipher names{cipher};
};

TEST_F(ConflictNameRules, RecognisesWhatSyncClientsAppend)
{
    const std::string report = enc("report.txt");
    for (const std::string suffix :
         {" (conflicted copy 2026-12-08)", " (1)", " [Conflict]", " 2", " - Copy", " - Copy (2)",
          "_conflict-20261208-101010", ".sync-conflict-20261208-123456-ABCDEFG", " (Case Conflict)",
          "-LAPTOP-7Q2"}) {
        const auto copy = recognise(report + suffix);
        ASSERT_TRUE(copy) << suffix;
        EXPECT_EQ(copy->plainName, "report.txt") << suffix;
        EXPECT_EQ(copy->suffix, suffix);
    }
    // An exact name is an entry of its own, never a copy.
    EXPECT_EQ(names.decryptExactName(report), "report.txt");
    EXPECT_FALSE(recognise(report));
}

TEST_F(ConflictNameRules, LeavesOtherNamesAlone)
{
    const std::string report = enc("report.txt");
    for (const std::string& name :
         {report + "x", report + " notes", report + " (", report + "-has.dot", std::string("desktop.ini"),
          std::string("notes (1).txt"), std::string("my-document-v2.pdf"),
          referenceName(testKey(50), "report.txt") + " (1)", enc("a") + "-HOST"}) {
        EXPECT_FALSE(recognise(name)) << name;
    }
    // The strong forms count after the shortest names too.
    ASSERT_TRUE(recognise(enc("a") + " (1)"));
}

TEST_F(ConflictNameRules, MachineNameAfterAnUnpaddedNameSplitsAtTheWholeName)
{
    // Six bytes encrypt to eight characters without padding, so "-" continues the alphabet.
    const std::string unpadded = enc("abcdef");
    ASSERT_EQ(unpadded.find('='), std::string::npos);
    const auto copy = recognise(unpadded + "-OFFICE-PC");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->plainName, "abcdef");
    EXPECT_EQ(copy->suffix, "-OFFICE-PC");
    EXPECT_TRUE(names.decryptExactName(unpadded + "-OFFICE-PC").empty());
}

TEST(ConflictDisplayNames, SuffixGoesBeforeTheExtension)
{
    EXPECT_EQ(conflictDisplayName("report.txt", " (conflicted copy 2026-12-08)"),
              "report (conflicted copy 2026-12-08).txt");
    EXPECT_EQ(conflictDisplayName("archive.tar.gz", " (1)"), "archive.tar (1).gz");
    EXPECT_EQ(conflictDisplayName(".bashrc", " (1)"), ".bashrc (1)");
    EXPECT_EQ(conflictDisplayName("notes", "-LAPTOP"), "notes-LAPTOP");
    EXPECT_EQ(conflictDisplayName("odd.", " 2"), "odd. 2");
    EXPECT_EQ(numberedName("report (1).txt", 3), "report (1) (3).txt");

    EXPECT_TRUE(mayBeConflictDisplayName("report (1).txt"));
    EXPECT_TRUE(mayBeConflictDisplayName("report 2.txt"));
    EXPECT_TRUE(mayBeConflictDisplayName("notes-LAPTOP"));
    EXPECT_FALSE(mayBeConflictDisplayName("report.txt"));
    EXPECT_FALSE(mayBeConflictDisplayName("My Report.txt"));
}

TEST(ConflictDisplayNames, EveryShownNameLeadsBackToItsOrigin)
{
    const std::vector<ConflictCopy> copies = {
        {"report.txt", " (conflicted copy 2026-12-08)"},
        {"archive.tar.gz", " (1)"},
        {".bashrc", " [Conflict]"},
        {"notes", "-LAPTOP"},
        {"a-b.c-d.txt", ".sync-conflict-20261208-1-X"},
        {"odd.", " 2"},
        {"plain", " - Copy (3)"},
    };
    for (const ConflictCopy& copy : copies) {
        const std::string shown = conflictDisplayName(copy.plainName, copy.suffix);
        EXPECT_TRUE(mayBeConflictDisplayName(shown)) << shown;
        const auto origins = possibleOrigins(shown);
        EXPECT_TRUE(std::any_of(origins.begin(), origins.end(), [&](const ConflictCopy& o) {
            return o.plainName == copy.plainName && o.suffix == copy.suffix;
        })) << shown;
    }
    EXPECT_TRUE(possibleOrigins("report.txt").empty());
    EXPECT_TRUE(mayBeNumbered("report (1) (2).txt"));
    EXPECT_FALSE(mayBeNumbered("report (draft).txt"));
}

TEST(ConflictDisplayNames, RealNamesWinAndCollisionsAreNumbered)
{
    const std::map<std::string, ConflictCopy> copies = {
        {"A (1)", {"report.txt", " (1)"}},
        {"B (1)", {"report (1).txt", ""}}, // another copy that would show as the same name
        {"C (1)", {std::string(250, 'x') + ".txt", " (conflicted copy)"}},
        {"D 2", {"notes", " 2"}},
    };
    const auto shown = assignDisplayNames({"report (1).txt", "notes"}, copies);
    EXPECT_EQ(shown.at("A (1)"), "report (1) (2).txt");
    EXPECT_EQ(shown.at("B (1)"), "report (1) (3).txt");
    EXPECT_EQ(shown.at("D 2"), "notes 2");
    EXPECT_EQ(shown.count("C (1)"), 0U) << "a shown name over 255 bytes cannot be listed";
}

class ConflictCopies : public DriveFsTest
{
protected:
    std::set<std::string> list(const std::string& path)
    {
        std::set<std::string> found;
        EXPECT_EQ(fs->readdir(path,
                              [&](std::string_view name, const struct stat&) {
                                  found.emplace(name);
                                  return true;
                              }),
                  0);
        return found;
    }
    // What a sync client does: a second version stored beside the first under a longer name.
    void copyBehindTheBack(const std::string& plainPath, const std::string& suffix, const std::string& data)
    {
        const stdfs::path original = fs->backingPathOf(plainPath);
        kestrava::test::writeFile(original.string() + suffix, referenceContent(key, data));
    }
};

TEST_F(ConflictCopies, CopyIsListedReadWrittenRenamedAndDeleted)
{
    put("/report.txt", "mine");
    const std::string suffix = " (conflicted copy 2026-12-08)";
    copyBehindTheBack("/report.txt", suffix, "theirs");
    const std::string shown = "/report (conflicted copy 2026-12-08).txt";

    EXPECT_EQ(list("/"), (std::set<std::string>{".", "..", "report.txt", shown.substr(1)}));
    EXPECT_EQ(get(shown), "theirs");
    EXPECT_EQ(get("/report.txt"), "mine");
    struct stat st
    {
    };
    ASSERT_EQ(fs->getattr(shown, &st), 0);
    EXPECT_EQ(st.st_size, 6);

    put(shown, "THEIRS, edited");
    EXPECT_EQ(kestrava::test::readFile(dir / (encName("report.txt") + suffix)),
              referenceContent(key, "THEIRS, edited"));
    EXPECT_EQ(get("/report.txt"), "mine");

    ASSERT_EQ(fs->rename(shown, "/report-theirs.txt", 0), 0);
    EXPECT_EQ(list("/"), (std::set<std::string>{".", "..", "report.txt", "report-theirs.txt"}));
    EXPECT_TRUE(stdfs::exists(dir / encName("report-theirs.txt")));

    copyBehindTheBack("/report.txt", " (1)", "third");
    ASSERT_EQ(fs->unlink("/report (1).txt"), 0);
    EXPECT_FALSE(stdfs::exists(dir / (encName("report.txt") + " (1)")));
    EXPECT_EQ(list("/"), (std::set<std::string>{".", "..", "report.txt", "report-theirs.txt"}));
    EXPECT_EQ(get("/report.txt"), "mine");
}

TEST_F(ConflictCopies, RealEntryKeepsItsNameAndTheCopyGivesWay)
{
    put("/report.txt", "original");
    put("/report (1).txt", "a file of that name");
    copyBehindTheBack("/report.txt", " (1)", "copy");

    EXPECT_EQ(list("/"),
              (std::set<std::string>{".", "..", "report.txt", "report (1).txt", "report (1) (2).txt"}));
    EXPECT_EQ(get("/report (1).txt"), "a file of that name");
    EXPECT_EQ(get("/report (1) (2).txt"), "copy");

    // The shown name is taken: it cannot be created again, and replacing it replaces the copy.
    std::uint64_t h = 0;
    EXPECT_EQ(fs->create("/report (1) (2).txt", 0644, O_RDWR, &h), -EEXIST);
    put("/other.txt", "replacement");
    ASSERT_EQ(fs->rename("/other.txt", "/report (1) (2).txt", 0), 0);
    EXPECT_EQ(get("/report (1) (2).txt"), "replacement");
    EXPECT_EQ(list("/").size(), 5U);
}

TEST_F(ConflictCopies, CopiedFolderIsWalkedInto)
{
    ASSERT_EQ(fs->mkdir("/docs", 0755), 0);
    put("/docs/a.txt", "inside");
    stdfs::copy(dir / encName("docs"), dir / (encName("docs") + " (1)"), stdfs::copy_options::recursive);
    EXPECT_EQ(list("/"), (std::set<std::string>{".", "..", "docs", "docs (1)"}));
    EXPECT_EQ(list("/docs (1)"), (std::set<std::string>{".", "..", "a.txt"}));
    EXPECT_EQ(get("/docs (1)/a.txt"), "inside");
    put("/docs (1)/b.txt", "new");
    EXPECT_TRUE(stdfs::exists(dir / (encName("docs") + " (1)") / encName("b.txt")));
}

TEST_F(ConflictCopies, CopiesAppearingBehindTheBackAreFoundAtOnce)
{
    put("/a-file.txt", "a");
    EXPECT_EQ(list("/").size(), 3U);
    std::uint64_t h = 0;
    EXPECT_EQ(fs->open("/a-file-LAPTOP.txt", O_RDONLY, &h), -ENOENT);
    // Within the same timestamp tick as the lookup above, where the directory's times may not move.
    copyBehindTheBack("/a-file.txt", "-LAPTOP", "from the laptop");
    EXPECT_EQ(get("/a-file-LAPTOP.txt"), "from the laptop");
    stdfs::remove(fs->backingPathOf("/a-file.txt") + "-LAPTOP");
    EXPECT_EQ(fs->open("/a-file-LAPTOP.txt", O_RDONLY, &h), -ENOENT);
}

TEST_F(ConflictCopies, FillingADirectoryDoesNotReadItAgainAndAgain)
{
    ASSERT_EQ(fs->mkdir("/many", 0755), 0);
    for (int i = 0; i < 200; ++i) {
        const std::string path = "/many/file-" + std::to_string(i) + ".txt";
        struct stat st
        {
        };
        ASSERT_EQ(fs->getattr(path, &st), -ENOENT);
        put(path, "x");
    }
    const std::size_t scans = fs->conflictIndex()->scanCount();
    EXPECT_LE(scans, 2U)
        << "names with '-' are looked for among copies: the drive's own creations keep the map";
    EXPECT_EQ(list("/many").size(), 202U);

    copyBehindTheBack("/many/file-7.txt", "-OFFICE", "y");
    EXPECT_EQ(get("/many/file-7-OFFICE.txt"), "y");
    EXPECT_EQ(list("/many").size(), 203U);
}

TEST_F(ConflictCopies, CaseInsensitiveLookupFindsOnlyRealNames)
{
    put("/Report.txt", "real");
    copyBehindTheBack("/Report.txt", " (1)", "copy");
    stdfs::remove(fs->backingPathOf("/Report.txt"));
    std::uint64_t h = 0;
    EXPECT_EQ(fs->open("/REPORT.TXT", O_RDONLY, &h), -ENOENT) << "the copy has a name of its own";
    EXPECT_EQ(get("/Report (1).txt"), "copy");
}

TEST_F(ConflictCopies, WithoutNameEncryptionNamesAreShownAsStored)
{
    FsOptions plain;
    plain.fileNameEncryption = false;
    mount(plain);
    put("/report.txt", "a");
    kestrava::test::writeFile(dir / "report (conflicted copy).txt", "b");
    EXPECT_EQ(list("/"), (std::set<std::string>{".", "..", "report.txt", "report (conflicted copy).txt"}));
    EXPECT_EQ(fs->conflictIndex(), nullptr);
}

} // namespace
} // namespace kestrava::fs::test
