// A drive file system over a temporary backing folder, and an independent reference for the
// stored formats computed with Crypto++ directly.
#pragma once

#include "core/fs/DriveFs.h"
#include "support/TestSupport.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kestrava::fs::test {

inline std::vector<crypto::Byte> testKey(crypto::Byte seed = 7)
{
    std::vector<crypto::Byte> key(32);
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<crypto::Byte>(seed + i * 13);
    }
    return key;
}

// AES-256-CFB (128-bit feedback) from the zero IV, a fresh Crypto++ object per call.
inline std::string referenceCfb(const std::vector<crypto::Byte>& key, const std::string& data, bool encrypt)
{
    const CryptoPP::byte iv[16] = {};
    std::string out(data.size(), '\0');
    auto* o = reinterpret_cast<CryptoPP::byte*>(out.data());
    const auto* i = reinterpret_cast<const CryptoPP::byte*>(data.data());
    if (encrypt) {
        CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption e(key.data(), key.size(), iv);
        e.ProcessData(o, i, data.size());
    } else {
        CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption d(key.data(), key.size(), iv);
        d.ProcessData(o, i, data.size());
    }
    return out;
}

// The stored form of a whole file: every 4096-byte block by itself.
inline std::string referenceContent(const std::vector<crypto::Byte>& key, const std::string& plain,
                                    bool encrypt = true)
{
    std::string out;
    for (std::size_t pos = 0; pos < plain.size(); pos += 4096) {
        out += referenceCfb(key, plain.substr(pos, 4096), encrypt);
    }
    return out;
}

inline std::string referenceBase64Url(const std::string& bytes)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        if (i + 2 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 2]);
        }
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

inline std::string referenceName(const std::vector<crypto::Byte>& key, const std::string& plain)
{
    return referenceBase64Url(referenceCfb(key, plain, true));
}

class DriveFsTest : public ::testing::Test
{
protected:
    // The format every mount of this test uses.
    virtual token::DriveFormat format() const { return token::DriveFormat::Compatible; }
    bool compatible() const { return format() == token::DriveFormat::Compatible; }

    void mount(FsOptions options = {})
    {
        options.format = format();
        fs = std::make_unique<DriveFs>(key, options, dir.path());
    }
    void SetUp() override { mount(); }

    // Whole-file helpers through the handlers; they fail the test on any error.
    void put(const std::string& path, const std::string& data, off_t offset = 0)
    {
        std::uint64_t h = 0;
        int rc = fs->open(path, O_RDWR, &h);
        if (rc == -ENOENT) {
            rc = fs->create(path, 0644, O_RDWR, &h);
        }
        ASSERT_EQ(rc, 0) << path;
        ASSERT_EQ(fs->write(h, data.data(), data.size(), offset), static_cast<ssize_t>(data.size()));
        ASSERT_EQ(fs->release(h), 0);
    }
    std::string get(const std::string& path, off_t offset = 0, std::size_t size = 1 << 22)
    {
        std::uint64_t h = 0;
        EXPECT_EQ(fs->open(path, O_RDONLY, &h), 0) << path;
        std::string buffer(size, '\0');
        const ssize_t n = fs->read(h, buffer.data(), size, offset);
        EXPECT_GE(n, 0);
        fs->release(h);
        buffer.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return buffer;
    }
    std::string stored(const std::string& plainPath)
    {
        return kestrava::test::readFile(fs->backingPathOf(plainPath));
    }
    std::string encName(const std::string& plain) { return referenceName(key, plain); }

    bool storedExists(const std::string& plainPath)
    {
        return std::filesystem::exists(fs->backingPathOf(plainPath));
    }

    std::vector<crypto::Byte> key = testKey();
    kestrava::test::TempDir dir;
    std::unique_ptr<DriveFs> fs;
};

// The same tests once per drive format: what the handlers promise holds for both.
class BothFormats : public DriveFsTest, public ::testing::WithParamInterface<token::DriveFormat>
{
protected:
    token::DriveFormat format() const override { return GetParam(); }
};

inline std::string formatTestName(const ::testing::TestParamInfo<token::DriveFormat>& info)
{
    return info.param == token::DriveFormat::Hardened ? "Hardened" : "Compatible";
}

#define KESTRAVA_BOTH_FORMATS(Suite)                                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                                \
        Formats, Suite, ::testing::Values(token::DriveFormat::Compatible, token::DriveFormat::Hardened),     \
        formatTestName)

} // namespace kestrava::fs::test
