// Recovering a drive made elsewhere: the token and the encrypted files are written here with
// Crypto++ alone, straight from the published formats (none of Kestrava's own code), then
// kestrava-cli recovers the drive, mounts it, and the files read back through the kernel.
#include "MountFixture.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>
#include <cryptopp/sha.h>
#include <fstream>

namespace kestrava::mount::test {
namespace {

using Bytes = std::string; // raw bytes

Bytes sha256(const Bytes& data)
{
    Bytes digest(CryptoPP::SHA256::DIGESTSIZE, '\0');
    CryptoPP::SHA256().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(digest.data()),
                                       reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    return digest;
}

// AES in CFB mode with full-block feedback from a zero IV, no padding.
Bytes cfb(const Bytes& key, const Bytes& data)
{
    const CryptoPP::byte iv[CryptoPP::AES::BLOCKSIZE] = {};
    CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption cipher(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                                         key.size(), iv);
    Bytes out(data.size(), '\0');
    cipher.ProcessData(reinterpret_cast<CryptoPP::byte*>(out.data()),
                       reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    return out;
}

std::string base64url(const Bytes& data)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = (group << 8) | (j < n ? static_cast<unsigned char>(data[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            out += j <= n ? alphabet[(group >> (18 - 6 * j)) & 0x3f] : '=';
        }
    }
    return out;
}

Bytes randomBytes(std::size_t n)
{
    CryptoPP::AutoSeededRandomPool pool;
    Bytes out(n, '\0');
    pool.GenerateBlock(reinterpret_cast<CryptoPP::byte*>(out.data()), n);
    return out;
}

// The drive password: upper-case hex SHA-256 of what the user types.
std::string drivePassword(const std::string& typed)
{
    std::string hex;
    CryptoPP::StringSource(sha256(typed), true,
                           new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), true));
    return hex;
}

void writeBytes(const std::filesystem::path& path, const Bytes& data)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

// A drive as another installation would leave it: a token for the password and files with
// encrypted names and contents.
class ForeignDrive
{
public:
    explicit ForeignDrive(const std::string& password) : m_password(drivePassword(password)) {}

    std::string token() const
    {
        constexpr int kIterations = 100;
        Bytes hash = sha256(m_password + m_salt);
        for (int i = 1; i < kIterations; ++i) {
            hash = sha256(hash);
        }
        const Bytes kek = hash.substr(0, 16);
        const std::string digest =
            base64url(sha256(base64url(m_salt) + base64url(m_masterKey) + base64url(m_check) + m_password));
        const std::string wrapped = base64url(cfb(kek, m_masterKey));
        const std::string check = base64url(cfb(m_masterKey, m_check));
        const std::string salt = base64url(m_salt);
        return "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<version>1.0.0.1</version>\n\t<keysize>32</keysize>\n"
               "\t<blocksize>16</blocksize>\n\t<uniqueiv>0</uniqueiv>\n\t<saltsize>16</saltsize>\n"
               "\t<encodedsaltsize>" +
               std::to_string(salt.size()) + "</encodedsaltsize>\n\t<encodedsaltdata>" + salt +
               "</encodedsaltdata>\n\t<encodedkeysize>" + std::to_string(wrapped.size()) +
               "</encodedkeysize>\n\t<encodedkeydata>" + wrapped + "</encodedkeydata>\n\t<kdfiteration>" +
               std::to_string(kIterations) +
               "</kdfiteration>\n\t<kdfduration>0</kdfduration>\n"
               "\t<checksize>10</checksize>\n\t<encodedchecksize>" +
               std::to_string(check.size()) + "</encodedchecksize>\n\t<encodedcheckdata>" + check +
               "</encodedcheckdata>\n\t<filenameencryption>Y</filenameencryption>\n"
               "\t<longfilename>Y</longfilename>\n\t<filenamecaseinsensitivity>Y</"
               "filenamecaseinsensitivity>\n"
               "\t<digest>" +
               digest + "</digest>\n</Kestrava>\n";
    }

    std::string encryptedName(const std::string& name) const { return base64url(cfb(m_masterKey, name)); }

    // Contents in 4096-byte blocks, each encrypted from the zero IV.
    Bytes encryptedContents(const Bytes& plain) const
    {
        Bytes out;
        for (std::size_t offset = 0; offset < plain.size(); offset += 4096) {
            out += cfb(m_masterKey, plain.substr(offset, 4096));
        }
        return out;
    }

    // Writes a file at a plain relative path (components separated by "/") under folder.
    void writeFile(const std::filesystem::path& folder, const std::string& relative, const Bytes& plain) const
    {
        std::filesystem::path path = folder;
        std::size_t begin = 0;
        while (begin < relative.size()) {
            const std::size_t end = std::min(relative.find('/', begin), relative.size());
            path /= encryptedName(relative.substr(begin, end - begin));
            begin = end + 1;
        }
        writeBytes(path, encryptedContents(plain));
    }

private:
    std::string m_password;
    Bytes m_salt = randomBytes(16);
    Bytes m_masterKey = randomBytes(32);
    Bytes m_check = [] {
        Bytes check = randomBytes(5);
        for (int i = 0; i < 5; ++i) {
            check += static_cast<char>(static_cast<unsigned char>(check[static_cast<std::size_t>(i)]) + 1);
        }
        return check;
    }();
};

Bytes patternBytes(std::size_t n)
{
    Bytes out(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<char>((i * 31 + i / 4096) & 0xff);
    }
    return out;
}

class RecoverMountTest : public MountFixture
{
protected:
    const Bytes m_text = "Hello from another computer.\n";
    const Bytes m_data = patternBytes(3 * 4096 + 123);

    void writeForeignFiles(const ForeignDrive& drive)
    {
        drive.writeFile(back(), "hello.txt", m_text);
        drive.writeFile(back(), "Reports/2024/data.bin", m_data);
        writeBytes(dir() / "expected.bin", m_data);
    }

    void expectFilesReadable()
    {
        const Shell read = sh("test \"$(cat \"$M/hello.txt\")\" = 'Hello from another computer.'\n"
                              "cmp \"$M/Reports/2024/data.bin\" \"$T/expected.bin\"\n"
                              "cmp \"$M/reports/2024/DATA.BIN\" \"$T/expected.bin\"\n"
                              "ls \"$M\" | sort | tr '\\n' ' '");
        EXPECT_EQ(read.exitCode, 0) << read.output;
        EXPECT_NE(read.output.find("Reports hello.txt"), std::string::npos) << read.output;
    }

    void unmount()
    {
        const Shell run = sh("$K unmount K:");
        EXPECT_EQ(run.exitCode, 0) << run.output;
    }
};

TEST_F(RecoverMountTest, DriveMadeElsewhereIsRecoveredFromItsFolderAndRead)
{
    const ForeignDrive drive(kPassword);
    writeForeignFiles(drive);
    writeBytes(back() / ".qxsession.xml", drive.token());

    const Shell wrong = cli("--password-stdin recover \"$B\" --letter K:", "not the password\n");
    EXPECT_NE(wrong.exitCode, 0) << wrong.output;
    EXPECT_FALSE(isMounted());

    const Shell run =
        cli("--password-stdin recover \"$B\" --letter K: --label Restored", std::string(kPassword) + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_TRUE(isMounted()) << run.output;
    expectFilesReadable();
    unmount();
}

TEST_F(RecoverMountTest, DriveIsRecoveredFromATokenBackup)
{
    const ForeignDrive drive(kPassword);
    writeForeignFiles(drive);
    writeBytes(dir() / "kestrava_backup_(work)24jan05.xml", drive.token());

    const Shell run =
        cli("--password-stdin recover \"$B\" --letter K: --token \"$T/kestrava_backup_(work)24jan05.xml\"",
            std::string(kPassword) + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_TRUE(isMounted()) << run.output;
    EXPECT_TRUE(std::filesystem::exists(back() / ".qxsession.xml"))
        << "the backup was copied into the folder";
    expectFilesReadable();
    unmount();
}

TEST_F(RecoverMountTest, EditedLetterMovesTheLiveDrive)
{
    createDrive();
    ASSERT_EQ(sh("echo kept > \"$M/note.txt\"").exitCode, 0);
    const Shell run =
        cli("--password-stdin edit K: --letter L: --label Moved", std::string(kPassword) + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_FALSE(isMounted()) << "nothing is left at the old letter";
    const Shell moved = sh("L=\"$(dirname \"$M\")/L\"\n"
                           "test \"$(cat \"$L/note.txt\")\" = kept\n"
                           "$K list | grep -q 'Moved'\n"
                           "$K unmount L:\n"
                           "! mountpoint -q \"$L\"");
    EXPECT_EQ(moved.exitCode, 0) << moved.output;
}

} // namespace
} // namespace kestrava::mount::test
