#include "sign/SignTool.h"

#include "core/update/CodeSignature.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace kestrava::tools {
namespace {

using test::TempDir;

constexpr const char* kLink = "https://kestrava.example/";

struct ToolRun
{
    int code = 0;
    std::string out;
    std::string err;
};

ToolRun sign(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = runSignTool(args, out, err);
    return {code, out.str(), err.str()};
}

class SignToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(sign({"keygen", m_private, m_public}).code, 0);
        test::writeFile(m_file, "installer bytes");
    }

    TempDir m_dir;
    std::string m_private = (m_dir / "private.key").string();
    std::string m_public = (m_dir / "public.key").string();
    std::string m_file = (m_dir / "kestrava_2.0_setup.run").string();
};

TEST_F(SignToolTest, KeygenWritesAPairAndNeverOverwrites)
{
    struct stat info
    {
    };
    ASSERT_EQ(::stat(m_private.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string publicText = test::readFile(m_public);
    ASSERT_EQ(publicText.size(), 65u); // 64 hex digits and a line break, as the build takes it
    EXPECT_TRUE(update::parsePublicKey(publicText.substr(0, 64)).has_value());

    const std::string before = test::readFile(m_private);
    const ToolRun again = sign({"keygen", m_private, (m_dir / "other.pub").string()});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("never overwritten"), std::string::npos);
    EXPECT_EQ(test::readFile(m_private), before);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "other.pub"));
}

TEST_F(SignToolTest, SignedFilesPassTheProgramsOwnCheck)
{
    const ToolRun signed_ =
        sign({"sign", m_file, "--key", m_private, "--program-name", "Harbrook Kestrava", "--link", kLink});
    ASSERT_EQ(signed_.code, 0) << signed_.err;
    const auto key = update::parsePublicKey(test::readFile(m_public).substr(0, 64));
    const update::Publisher publisher{"Harbrook Kestrava", kLink, *key, update::serialOf(*key)};
    EXPECT_TRUE(update::verifyCodeSignature(m_file, publisher));

    EXPECT_EQ(sign({"verify", m_file, "--key", m_public, "--link", kLink}).code, 0);
    const ToolRun otherLink = sign({"verify", m_file, "--key", m_public, "--link", "https://other.example/"});
    EXPECT_EQ(otherLink.code, 1);
    EXPECT_NE(otherLink.err.find("link"), std::string::npos);
    const ToolRun otherName =
        sign({"verify", m_file, "--key", m_public, "--link", kLink, "--program-name", "Something Else"});
    EXPECT_EQ(otherName.code, 1);

    test::writeFile(m_file, "changed installer");
    const ToolRun changed = sign({"verify", m_file, "--key", m_public, "--link", kLink});
    EXPECT_EQ(changed.code, 1);
    EXPECT_NE(changed.err.find("not the one that was signed"), std::string::npos);
}

TEST_F(SignToolTest, BadCommandLinesAndKeys)
{
    EXPECT_EQ(sign({}).code, 2);
    EXPECT_EQ(sign({"sign", m_file, "--key", m_private}).code, 2);
    EXPECT_EQ(sign({"sign", m_file, "--key", m_private, "--program-name", "X", "--link"}).code, 2);
    EXPECT_EQ(sign({"frobnicate"}).code, 2);
    test::writeFile(m_dir / "bad.key", "not a key\n");
    const ToolRun bad =
        sign({"sign", m_file, "--key", (m_dir / "bad.key").string(), "--program-name", "X", "--link", kLink});
    EXPECT_EQ(bad.code, 1);
    EXPECT_FALSE(std::filesystem::exists(m_file + ".sig"));
    EXPECT_EQ(sign({"sign", (m_dir / "missing").string(), "--key", m_private, "--program-name", "X", "--link",
                    kLink})
                  .code,
              1);
}

} // namespace
} // namespace kestrava::tools
