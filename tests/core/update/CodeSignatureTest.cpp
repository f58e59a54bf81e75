#include "core/update/CodeSignature.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::update {
namespace {

using test::TempDir;

crypto::SecureBytes hexBytes(std::string_view hex)
{
    return *crypto::fromHex(hex);
}

TEST(Ed25519, KnownAnswers)
{
    // RFC 8032, section 7.1, tests 1 and 2.
    const auto secret1 = hexBytes("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
    const auto public1 = crypto::publicKeyFor(secret1);
    ASSERT_TRUE(public1.has_value());
    EXPECT_EQ(crypto::toLowerHex(*public1),
              "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    EXPECT_EQ(crypto::toLowerHex(*crypto::signMessage(secret1, "")),
              "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9"
              "b46bd25bf5f0595bbe24655141438e7a100b");

    const auto secret2 = hexBytes("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb");
    const auto signature2 = crypto::signMessage(secret2, "\x72");
    EXPECT_EQ(crypto::toLowerHex(*signature2),
              "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f1"
              "1d8c387b2eaeb4302aeeb00d291612bb0c00");
    const auto public2 = *crypto::publicKeyFor(secret2);
    EXPECT_TRUE(crypto::verifySignature(public2, "\x72", *signature2));
    EXPECT_FALSE(crypto::verifySignature(public2, "\x73", *signature2));
    EXPECT_FALSE(crypto::verifySignature(*public1, "\x72", *signature2));
    EXPECT_FALSE(crypto::publicKeyFor(crypto::ByteView(secret2.data(), 31)).has_value());
}

class SignatureFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_keys = crypto::generateSigningKeys();
        m_publisher = {std::string(kOwnProgramName), "https://kestrava.example/more", m_keys.publicKey,
                       serialOf(m_keys.publicKey)};
        test::writeFile(m_file, "#!/bin/sh\necho installing\n");
    }

    void sign(std::string_view programName, std::string_view link)
    {
        const auto text = makeSignatureFile(m_file, m_keys.privateKey, programName, link);
        ASSERT_TRUE(text.has_value());
        test::writeFile(signaturePathFor(m_file), *text);
    }

    SignatureFields fields() { return *parseSignatureFile(test::readFile(signaturePathFor(m_file))); }

    TempDir m_dir;
    std::filesystem::path m_file = m_dir / "kestrava_1.3_setup.run";
    crypto::SigningKeyPair m_keys;
    Publisher m_publisher;
};

TEST_F(SignatureFile, ValidSignatureOfTheOwnPublisher)
{
    sign(kOwnProgramName, "https://kestrava.example/more");
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::Valid);
    EXPECT_TRUE(verifyCodeSignature(m_file, m_publisher));
    // Six lines; the key and the digest are the signer's and the file's.
    const std::string text = test::readFile(signaturePathFor(m_file));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    EXPECT_EQ(fields().publicKey, crypto::toLowerHex(m_keys.publicKey));
    EXPECT_EQ(fields().sha512, crypto::toLowerHex(*crypto::sha512OfFile(m_file)));
    // Name and link are compared ignoring case.
    sign("HARBROOK kestrava", "HTTPS://Kestrava.Example/More");
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::Valid);
}

TEST_F(SignatureFile, ForeignOrChangedSignaturesAreRefused)
{
    sign("Other Program", m_publisher.link);
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::OtherProgramName);
    sign("", m_publisher.link);
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::OtherProgramName);
    sign(kOwnProgramName, "https://elsewhere.example/");
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::OtherLink);
    sign(kOwnProgramName, "");
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::OtherLink);

    // Another key, even one that signs everything else right.
    sign(kOwnProgramName, m_publisher.link);
    Publisher other = m_publisher;
    other.key = crypto::generateSigningKeys().publicKey;
    EXPECT_EQ(checkCodeSignature(m_file, other), SignatureCheck::OtherKey);

    // The serial must match to the last digit.
    Publisher serial = m_publisher;
    serial.serial.back() = serial.serial.back() == '0' ? '1' : '0';
    EXPECT_EQ(checkCodeSignature(m_file, serial), SignatureCheck::OtherSerial);
    EXPECT_EQ(serialOf(m_keys.publicKey).size(), 32u);

    // A changed file, or a changed line of the signature file.
    test::writeFile(m_file, "#!/bin/sh\necho something else\n");
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::FileChanged);
    sign(kOwnProgramName, m_publisher.link);
    SignatureFields changed = fields();
    changed.link = "https://kestrava.example/mors";
    test::writeFile(signaturePathFor(m_file), formatSignatureFile(changed));
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::BadSignature);
}

TEST_F(SignatureFile, MissingOrMalformedSignatureFiles)
{
    EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::Missing);
    EXPECT_FALSE(verifyCodeSignature(m_file, m_publisher));
    sign(kOwnProgramName, m_publisher.link);
    const std::string good = test::readFile(signaturePathFor(m_file));
    for (const std::string& bad :
         {good.substr(0, good.size() - 1), good + "extra: line\n",
          "kestrava-signature 2" + good.substr(good.find('\n')), std::string(),
          good.substr(0, good.find("sha512")) + "sha512: ABC\n" + good.substr(good.find("signature:"))}) {
        test::writeFile(signaturePathFor(m_file), bad);
        EXPECT_EQ(checkCodeSignature(m_file, m_publisher), SignatureCheck::Malformed) << bad;
    }
    // Line breaks cannot be smuggled into the signed fields.
    EXPECT_FALSE(makeSignatureFile(m_file, m_keys.privateKey, "Harbrook\nKestrava", m_publisher.link));
}

TEST_F(SignatureFile, OwnExecutableIsCheckedOnlyWithAKeyAndASignature)
{
    EXPECT_EQ(checkOwnExecutable(m_file, m_publisher), SelfCheck::NotChecked);
    sign(kOwnProgramName, m_publisher.link);
    EXPECT_EQ(checkOwnExecutable(m_file, std::nullopt), SelfCheck::NotChecked);
    EXPECT_EQ(checkOwnExecutable(m_file, m_publisher), SelfCheck::Valid);
    test::writeFile(m_file, "patched");
    EXPECT_EQ(checkOwnExecutable(m_file, m_publisher), SelfCheck::Failed);
}

TEST(PublicKeyText, OnlySixtyFourHexDigits)
{
    const std::string hex = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
    ASSERT_TRUE(parsePublicKey(hex).has_value());
    EXPECT_EQ(crypto::toLowerHex(*parsePublicKey(hex)), hex);
    EXPECT_FALSE(parsePublicKey(hex.substr(2)).has_value());
    EXPECT_FALSE(parsePublicKey(hex + "00").has_value());
    EXPECT_FALSE(parsePublicKey("g" + hex.substr(1)).has_value());
    EXPECT_FALSE(parsePublicKey("").has_value());
}

} // namespace
} // namespace kestrava::update
