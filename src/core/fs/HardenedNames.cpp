#include "core/fs/HardenedNames.h"

#include "core/crypto/Base64Url.h"
#include "core/crypto/Hash.h"
#include "core/crypto/Random.h"
#include "core/fs/FsError.h"
#include "core/fs/UniqueFd.h"
#include "core/fs/Utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace kestrava::fs {
namespace {

constexpr std::string_view kIvTempPrefix = "kestrava.diriv.tmp-";
constexpr std::string_view kLinkBinding = "kestrava link";
// Side files hold one stored name; anything larger is not ours.
constexpr std::size_t kMaxSideFileBytes = 4096;

std::string unpadded(std::string text)
{
    while (!text.empty() && text.back() == '=') {
        text.pop_back();
    }
    return text;
}

// Decodes text that must be exactly the unpadded encoding of what it decodes to.
bool decodeExact(std::string_view text, crypto::SecureBytes& out)
{
    out = crypto::base64UrlDecode(text);
    return !text.empty() && unpadded(crypto::base64UrlEncode(out)) == text;
}

bool isLongName(std::string_view stored)
{
    return stored.size() > kLongNamePrefix.size() && stored.starts_with(kLongNamePrefix) &&
           !stored.ends_with(kLongNameSuffix);
}

std::string sideFileOf(std::string_view stored)
{
    return std::string(stored) + std::string(kLongNameSuffix);
}

bool readAt(int dirFd, const std::string& name, std::size_t maxBytes, std::string& out)
{
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    UniqueFd file(fd);
    out.assign(maxBytes + 1, '\0');
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(file.get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n < 0) {
                return false;
            }
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return true; // callers check the size
}

// Writes a small file under a temporary name and moves it to `name` unless that exists
// already; a reader never sees it half written. False when `name` was there first.
bool publishAt(int dirFd, std::string_view tempPrefix, const std::string& name, std::string_view data)
{
    const std::string temp = std::string(tempPrefix) + crypto::toUpperHex(crypto::randomBytes(8));
    UniqueFd file(
        checkSys(::openat(dirFd, temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0644)));
    if (::write(file.get(), data.data(), data.size()) != static_cast<ssize_t>(data.size()) ||
        ::fsync(file.get()) != 0) {
        const int error = errno != 0 ? errno : EIO;
        ::unlinkat(dirFd, temp.c_str(), 0);
        throw FsError(error);
    }
    file.reset();
    if (::renameat2(dirFd, temp.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) != 0) {
        const int error = errno;
        ::unlinkat(dirFd, temp.c_str(), 0);
        if (error == EEXIST) {
            return false;
        }
        throw FsError(error);
    }
    return true;
}

} // namespace

std::string longNameFor(std::string_view fullStored)
{
    const crypto::Sha256Digest digest = crypto::sha256(crypto::asBytes(fullStored));
    return std::string(kLongNamePrefix) + unpadded(crypto::base64UrlEncode(digest));
}

crypto::SecureBytes readDirectoryIv(int dirFd, bool create)
{
    const std::string name(kDirIvFileName);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string text;
        if (readAt(dirFd, name, kDirIvSize, text)) {
            if (text.size() != kDirIvSize) {
                throw FsError(EIO); // damaged: its names cannot be read or added to
            }
            return crypto::toSecureBytes(crypto::asBytes(text));
        }
        if (errno != ENOENT || !create) {
            throw FsError(errno == 0 ? EIO : errno);
        }
        const crypto::SecureBytes iv = crypto::randomBytes(kDirIvSize);
        if (publishAt(dirFd, kIvTempPrefix, name, crypto::asText(iv))) {
            return iv;
        }
        // Another thread made it first: read theirs.
    }
    throw FsError(EIO);
}

HardenedNameCodec::HardenedNameCodec(crypto::ByteView nameKey, crypto::ByteView linkKey)
    : m_siv(nameKey), m_links(linkKey)
{
}

std::string HardenedNameCodec::sealName(crypto::ByteView dirIv, std::string_view plain) const
{
    return unpadded(crypto::base64UrlEncode(m_siv.encrypt({dirIv}, crypto::asBytes(plain))));
}

std::string HardenedNameCodec::encryptName(int dirFd, std::string_view plain, bool forNew) const
{
    if (plain.empty() || !isValidUtf8(plain) || plain == "." || plain == ".." ||
        plain.find('/') != std::string_view::npos) {
        throw FsError(EINVAL);
    }
    if (plain.size() > kMaxHardenedPlainNameBytes) {
        throw FsError(ENAMETOOLONG);
    }
    const crypto::SecureBytes iv = readDirectoryIv(dirFd, forNew);
    std::string full = sealName(iv, plain);
    if (full.size() <= kMaxBackingNameBytes) {
        return full;
    }
    std::string shortName = longNameFor(full);
    if (forNew) {
        const std::string side = sideFileOf(shortName);
        std::string existing;
        if (!readAt(dirFd, side, kMaxSideFileBytes, existing) || existing != full) {
            ::unlinkat(dirFd, side.c_str(), 0); // a stale or damaged one
            publishAt(dirFd, "kestrava.long.tmp-", side, full);
        }
    }
    return shortName;
}

std::string HardenedNameCodec::decryptName(int dirFd, std::string_view stored) const
{
    std::string full(stored);
    if (isLongName(stored)) {
        if (!readAt(dirFd, sideFileOf(stored), kMaxSideFileBytes, full) || longNameFor(full) != stored) {
            return {};
        }
    } else if (stored.starts_with("kestrava.")) {
        return {};
    }
    crypto::SecureBytes sealed;
    if (!decodeExact(full, sealed) || sealed.size() <= crypto::AesSiv::kTagSize) {
        return {};
    }
    crypto::SecureBytes iv;
    try {
        iv = readDirectoryIv(dirFd, false);
    } catch (const FsError&) {
        return {};
    }
    const auto plain = m_siv.decrypt({iv}, sealed);
    if (!plain) {
        return {};
    }
    std::string name(crypto::asText(*plain));
    if (!isValidUtf8(name) || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return {};
    }
    return name;
}

std::string HardenedNameCodec::encryptLinkTarget(std::string_view target) const
{
    if (target.size() > kMaxHardenedLinkTargetBytes) {
        throw FsError(ENAMETOOLONG);
    }
    return unpadded(crypto::base64UrlEncode(
        m_links.sealWithRandomNonce(crypto::asBytes(kLinkBinding), crypto::asBytes(target))));
}

std::string HardenedNameCodec::decryptLinkTarget(std::string_view stored) const
{
    crypto::SecureBytes sealed;
    crypto::SecureBytes plain;
    if (!decodeExact(stored, sealed) ||
        !m_links.openWithNonce(crypto::asBytes(kLinkBinding), sealed, plain) || plain.empty()) {
        throw FsError(EIO);
    }
    return std::string(crypto::asText(plain));
}

bool HardenedNameCodec::isBookkeeping(std::string_view stored) const
{
    return stored == kDirIvFileName || stored.starts_with(kIvTempPrefix) ||
           (stored.starts_with(kLongNamePrefix) && stored.ends_with(kLongNameSuffix));
}

void HardenedNameCodec::afterRemove(int dirFd, std::string_view stored) const
{
    if (isLongName(stored)) {
        ::unlinkat(dirFd, sideFileOf(stored).c_str(), 0);
    }
}

void HardenedNameCodec::initDirectory(int parentFd, std::string_view stored) const
{
    UniqueFd dir(checkSys(
        ::openat(parentFd, std::string(stored).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
    readDirectoryIv(dir.get(), true);
}

void HardenedNameCodec::prepareRemoveDirectory(int parentFd, std::string_view stored) const
{
    UniqueFd fd(checkSys(
        ::openat(parentFd, std::string(stored).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
    const int dirFd = fd.get();
    DIR* dir = ::fdopendir(fd.release());
    if (dir == nullptr) {
        throw FsError(errno);
    }
    bool onlyIv = true;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name != "." && name != ".." && name != kDirIvFileName) {
            onlyIv = false;
            break;
        }
    }
    if (onlyIv) {
        ::unlinkat(dirFd, std::string(kDirIvFileName).c_str(), 0);
    }
    ::closedir(dir);
    if (!onlyIv) {
        throw FsError(ENOTEMPTY);
    }
}

} // namespace kestrava::fs
