#include "core/drives/DriveConversion.h"

#include "core/app/ActivityLog.h"
#include "core/fs/DriveFs.h"
#include "core/fs/FsError.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrava::drives {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

class ConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

void check(int rc, std::string_view what, const std::string& path)
{
    if (rc < 0) {
        throw ConversionError(std::string(what) + " " + (path.empty() ? "/" : path) + ": " +
                              std::strerror(-rc));
    }
}

std::string childPath(const std::string& parent, std::string_view name)
{
    return (parent == "/" ? "/" : parent + "/") + std::string(name);
}

struct Entry
{
    std::string name;
    struct stat st;
};

std::vector<Entry> listDirectory(fs::DriveFs& drive, const std::string& path)
{
    std::vector<Entry> entries;
    const int rc = drive.readdir(
        path,
        [&](std::string_view name, const struct stat& st) {
            if (name != "." && name != "..") {
                entries.push_back({std::string(name), st});
            }
            return true;
        },
        true);
    check(rc, "listing", path);
    return entries;
}

class Copier
{
public:
    Copier(fs::DriveFs& from, fs::DriveFs& to)
        : m_from(from), m_to(to), m_buffer(kCopyChunk), m_other(kCopyChunk)
    {
    }

    void copyTree(const std::string& dir)
    {
        for (const Entry& e : listDirectory(m_from, dir)) {
            const std::string path = childPath(dir, e.name);
            if (S_ISDIR(e.st.st_mode)) {
                check(m_to.mkdir(path, 0700), "creating", path); // its own mode once it is filled
                ++counts.directories;
                copyTree(path);
            } else if (S_ISREG(e.st.st_mode)) {
                copyFile(path);
                ++counts.files;
            } else if (S_ISLNK(e.st.st_mode)) {
                char target[4096];
                check(m_from.readlink(path, target, sizeof target), "reading the link", path);
                check(m_to.symlink(target, path), "creating the link", path);
                ++counts.links;
            } else {
                check(m_to.mknod(path, e.st.st_mode, e.st.st_rdev), "creating", path);
                ++counts.others;
            }
            copyAttributes(path, e.st);
        }
    }

    void verifyTree(const std::string& dir)
    {
        const std::vector<Entry> source = listDirectory(m_from, dir);
        const std::vector<Entry> copy = listDirectory(m_to, dir);
        if (source.size() != copy.size()) {
            throw ConversionError("the copy of " + dir + " holds " + std::to_string(copy.size()) +
                                  " entries instead of " + std::to_string(source.size()));
        }
        for (const Entry& e : source) {
            const std::string path = childPath(dir, e.name);
            struct stat st
            {
            };
            check(m_to.getattr(path, &st), "checking the copy of", path);
            if ((st.st_mode & S_IFMT) != (e.st.st_mode & S_IFMT) ||
                (S_ISREG(st.st_mode) && st.st_size != e.st.st_size)) {
                throw ConversionError("the copy of " + path + " differs in type or size");
            }
            if (S_ISDIR(e.st.st_mode)) {
                verifyTree(path);
            } else if (S_ISREG(e.st.st_mode)) {
                compareFile(path, static_cast<std::uint64_t>(e.st.st_size));
            } else if (S_ISLNK(e.st.st_mode)) {
                char a[4096];
                char b[4096];
                check(m_from.readlink(path, a, sizeof a), "reading the link", path);
                check(m_to.readlink(path, b, sizeof b), "reading the copied link", path);
                if (std::strcmp(a, b) != 0) {
                    throw ConversionError("the copy of the link " + path + " differs");
                }
            }
        }
    }

    ConversionCounts counts;

private:
    void copyFile(const std::string& path)
    {
        std::uint64_t in = 0;
        std::uint64_t out = 0;
        check(m_from.open(path, O_RDONLY, &in), "opening", path);
        const int created = m_to.create(path, 0600, O_RDWR, &out);
        if (created < 0) {
            m_from.release(in);
            check(created, "creating", path);
        }
        off_t offset = 0;
        int rc = 0;
        for (;;) {
            const ssize_t n = m_from.read(in, m_buffer.data(), m_buffer.size(), offset);
            if (n <= 0) {
                rc = static_cast<int>(n);
                break;
            }
            const ssize_t written = m_to.write(out, m_buffer.data(), static_cast<std::size_t>(n), offset);
            if (written != n) {
                rc = written < 0 ? static_cast<int>(written) : -EIO;
                break;
            }
            offset += n;
            counts.bytes += static_cast<std::uint64_t>(n);
        }
        m_from.release(in);
        m_to.release(out);
        check(rc, "copying", path);
    }

    void compareFile(const std::string& path, std::uint64_t size)
    {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        check(m_from.open(path, O_RDONLY, &a), "opening", path);
        const int opened = m_to.open(path, O_RDONLY, &b);
        if (opened < 0) {
            m_from.release(a);
            check(opened, "opening the copy of", path);
        }
        std::uint64_t offset = 0;
        bool same = true;
        while (same && offset < size) {
            const ssize_t n = m_from.read(a, m_buffer.data(), m_buffer.size(), static_cast<off_t>(offset));
            const ssize_t m = m_to.read(b, m_other.data(), m_other.size(), static_cast<off_t>(offset));
            same = n > 0 && n == m &&
                   std::memcmp(m_buffer.data(), m_other.data(), static_cast<std::size_t>(n)) == 0;
            offset += n > 0 ? static_cast<std::uint64_t>(n) : 0;
        }
        m_from.release(a);
        m_to.release(b);
        if (!same) {
            throw ConversionError("the copy of " + path + " does not read back the same");
        }
    }

    // Extended attributes of the "user." namespace, the mode and the times.
    void copyAttributes(const std::string& path, const struct stat& st)
    {
        if (!S_ISLNK(st.st_mode)) {
            copyUserAttributes(path);
            check(m_to.chmod(path, st.st_mode & 07777), "setting the mode of", path);
        }
        const timespec times[2] = {st.st_atim, st.st_mtim};
        check(m_to.utimens(path, times), "setting the times of", path);
    }

    void copyUserAttributes(const std::string& path)
    {
        const ssize_t listed = m_from.listxattr(path, m_buffer.data(), m_buffer.size());
        if (listed == -ENOTSUP) {
            return;
        }
        check(static_cast<int>(std::min<ssize_t>(listed, 0)), "listing the attributes of", path);
        const std::string names(m_buffer.data(), static_cast<std::size_t>(listed));
        for (std::size_t pos = 0; pos < names.size();) {
            const std::string name = names.c_str() + pos;
            pos += name.size() + 1;
            if (!name.starts_with("user.")) {
                continue;
            }
            const ssize_t n = m_from.getxattr(path, name, m_other.data(), m_other.size());
            check(static_cast<int>(std::min<ssize_t>(n, 0)), "reading an attribute of", path);
            check(m_to.setxattr(path, name, m_other.data(), static_cast<std::size_t>(n), 0),
                  "writing an attribute of", path);
        }
    }

    fs::DriveFs& m_from;
    fs::DriveFs& m_to;
    std::vector<char> m_buffer;
    std::vector<char> m_other;
};

bool isEmptyOrMissing(const std::filesystem::path& folder, std::string& error)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(folder, ec);
    if (!std::filesystem::exists(status)) {
        return true;
    }
    if (!std::filesystem::is_directory(status)) {
        error = folder.string() + " exists and is not a folder";
        return false;
    }
    if (!std::filesystem::is_empty(folder, ec) || ec) {
        error = folder.string() + " is not empty; the new drive needs an empty or new folder";
        return false;
    }
    return true;
}

void syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw ConversionError("cannot open " + folder.string() + ": " + std::strerror(errno));
    }
    const fs::UniqueFd dir(fd);
    if (::syncfs(dir.get()) != 0) {
        throw ConversionError("cannot flush " + folder.string() + ": " + std::strerror(errno));
    }
}

} // namespace

ConversionResult convertDrive(const token::DriveContext& source, const std::filesystem::path& target,
                              token::DriveFormat format, const ConversionStepHook& hook)
{
    ConversionResult result;
    const auto step = [&](std::string_view name) {
        writeLog("ConvertDrive: %s", std::string(name).c_str());
        if (hook) {
            hook(name);
        }
    };
    try {
        const std::filesystem::path from = source.backingFolder();
        std::error_code ec;
        if (std::filesystem::equivalent(from, target, ec)) {
            throw ConversionError("the new folder must differ from the drive's folder");
        }
        std::string problem;
        if (!isEmptyOrMissing(target, problem)) {
            throw ConversionError(problem);
        }
        std::filesystem::create_directories(target, ec);
        if (ec) {
            throw ConversionError("cannot create " + target.string() + ": " + ec.message());
        }
        std::filesystem::create_directory(target / fs::warningFolderName(), ec);

        token::DriveContext copy(source.password());
        copy.setFormat(format);
        copy.setOptions(source.options());
        copy.setBackingFolder(target);
        std::string error;
        if (!copy.CreateToken(target / kConversionTokenName, &error)) {
            throw ConversionError("cannot write the new token: " + error);
        }
        step("token-written");

        fs::DriveFs oldDrive(
            source.masterKey(),
            {source.options().fileNameEncryption, source.options().caseInsensitive, source.format()}, from);
        fs::DriveFs newDrive(copy.masterKey(), {copy.options().fileNameEncryption, false, format}, target);
        Copier copier(oldDrive, newDrive);
        copier.copyTree("/");
        step("copied");
        copier.verifyTree("/");
        syncFolder(target);
        step("verified");

        if (::rename((target / kConversionTokenName).c_str(), token::tokenPathFor(target).c_str()) != 0) {
            throw ConversionError("cannot put the new token in place: " + std::string(std::strerror(errno)));
        }
        syncFolder(target);
        step("token-placed");
        result.counts = copier.counts;
        result.ok = true;
    } catch (const ConversionError& e) {
        result.error = e.what();
    } catch (const fs::FsError& e) {
        result.error = std::string("file system error: ") + std::strerror(e.error());
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    if (!result.ok) {
        writeLog("!ConvertDrive: %s", result.error.c_str());
    }
    return result;
}

} // namespace kestrava::drives
