// Names and paths: known answers, the length limits, the decryption rules.
#include "FsTestSupport.h"
#include "core/fs/FsError.h"
#include "core/fs/PathMapper.h"

namespace kestrava::fs::test {
namespace {

class NameMapping : public ::testing::Test
{
protected:
    std::vector<crypto::Byte> key = testKey();
    crypto::CfbCipher cipher{key};
    NameCipher names{cipher};
    CompatibleNameCodec codec{cipher};
    PathMapper mapper{codec, true};

    int errorOf(const std::string& name)
    {
        try {
            names.EncryptNameComponent(name);
        } catch (const FsError& e) {
            return e.error();
        }
        return 0;
    }
};

TEST_F(NameMapping, KnownAnswersAndLengths)
{
    EXPECT_EQ(names.EncryptNameComponent("a"), referenceName(key, "a"));
    EXPECT_EQ(names.EncryptNameComponent("a").size(), 4u);
    EXPECT_EQ(names.EncryptNameComponent("a").substr(2), "==");
    EXPECT_EQ(names.EncryptNameComponent("Bericht über März.txt"),
              referenceName(key, "Bericht über März.txt"));

    const std::string name189(189, 'x');
    EXPECT_EQ(names.EncryptNameComponent(name189).size(), 252u);
    EXPECT_EQ(names.DecryptName(names.EncryptNameComponent(name189)), name189);
    EXPECT_EQ(errorOf(std::string(190, 'x')), ENAMETOOLONG);
    EXPECT_EQ(errorOf("bad\xff"), EINVAL);
    EXPECT_EQ(errorOf("\xc0\xaf"), EINVAL) << "overlong form";
    EXPECT_EQ(errorOf(""), EINVAL);
}

TEST_F(NameMapping, DecryptionRejectsWhatIsNotOurs)
{
    // The length rule: a 10-byte name encrypts to 16 characters; with text appended after
    // the padding it is accepted up to 49 characters and rejected from 50 on.
    const std::string tenBytes = names.EncryptNameComponent("0123456789");
    ASSERT_EQ(tenBytes.size(), 16u);
    EXPECT_EQ(names.DecryptName(tenBytes + std::string(33, '.')), "0123456789");
    EXPECT_EQ(names.DecryptName(tenBytes + std::string(34, '.')), "");

    // Files a sync client or a user put there, and names of another drive.
    crypto::CfbCipher other(testKey(99));
    NameCipher otherNames(other);
    int foreignShown = 0;
    for (const char* n :
         {"desktop.ini", "Thumbs.db", "notes.txt", ".DS_Store", "report (conflicted copy).txt"}) {
        EXPECT_EQ(names.DecryptName(n), "") << n;
        foreignShown += !names.DecryptName(otherNames.EncryptNameComponent(n)).empty();
    }
    EXPECT_EQ(foreignShown, 0);
    // A conflict copy of one of our names: the suffix makes it too long for what it holds.
    const std::string ours = names.EncryptNameComponent("a.txt");
    EXPECT_EQ(names.DecryptName(ours + " (conflicted copy 2024-01-01).txt"), "");
    EXPECT_EQ(names.DecryptName(ours), "a.txt");
}

TEST_F(NameMapping, PathsAndTokenNames)
{
    EXPECT_EQ(mapper.EncryptPath("/"), "/");
    EXPECT_EQ(mapper.EncryptPath("/Docs/a.txt:meta"),
              "/" + referenceName(key, "Docs") + "/" + referenceName(key, "a.txt") + ":meta");
    EXPECT_EQ(mapper.EncryptPath("//Docs//a.txt/"),
              "/" + referenceName(key, "Docs") + "/" + referenceName(key, "a.txt"));

    EXPECT_EQ(mapper.BuildBackingPath("/b/vault", "/"), "/b/vault");
    EXPECT_EQ(mapper.BuildBackingPath("/b/vault/", "/.qxsession.xml"), "/b/vault/.qxsession.xml");
    EXPECT_EQ(mapper.BuildBackingPath("/b/vault", "/Docs/.qxsession.xml"),
              "/b/vault/" + referenceName(key, "Docs") + "/" + referenceName(key, ".qxsession.xml"))
        << "only the root's token keeps its plain name";

    EXPECT_TRUE(IsTokenFileName(".qxsession.xml"));
    EXPECT_TRUE(IsTokenFileName("/a/.qxsession.xml"));
    EXPECT_FALSE(IsTokenFileName("/a/.QXSESSION.xml"));
    EXPECT_FALSE(IsTokenFileName("/.qxsession.xml/b"));

    PathMapper plain(codec, false);
    EXPECT_EQ(plain.BuildBackingPath("/b/vault", "/Docs/a b.txt"), "/b/vault/Docs/a b.txt");
    EXPECT_TRUE(plain.IsListableName("desktop.ini", "Warn!"));
    EXPECT_FALSE(plain.IsListableName("Warn!", "Warn!"));
    EXPECT_FALSE(mapper.IsListableName("desktop.ini", "Warn!"));
    EXPECT_TRUE(mapper.IsListableName(referenceName(key, "x"), "Warn!"));
}

} // namespace
} // namespace kestrava::fs::test
