#include "core/drives/DriveCheck.h"

#include "core/app/StringTable.h"
#include "core/fs/ConflictNames.h"
#include "core/fs/DriveFs.h"
#include "core/fs/NameCodec.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"
#include "core/settings/Paths.h"
#include "core/token/DriveContext.h"
#include "core/token/HardenedToken.h"
#include "core/token/TokenDocument.h"
#include "core/util/AsciiText.h"
#include "core/util/AtomicFile.h"

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <system_error>

namespace kestrava::drives {
namespace {

constexpr std::size_t kMaxTokenBytes = 64 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;

constexpr int kMsgTokenMissing = 1420;
constexpr int kMsgTokenUnreadable = 1421;
constexpr int kMsgNotAToken = 1422;
constexpr int kMsgWrongPassword = 1423;
constexpr int kMsgNoTokenBackup = 1424;
constexpr int kMsgUndecryptableName = 1425;
constexpr int kMsgConflictCopy = 1426;
constexpr int kMsgForeignPlainFile = 1427;
constexpr int kMsgNameTooLong = 1428;
constexpr int kMsgPathTooLong = 1429;
constexpr int kMsgUnreadableEntry = 1430;
constexpr int kMsgFailsAuthentication = 1431;
constexpr int kMsgCheckClean = 1432;

bool isBase64UrlCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Text an encryption could have written: the base64url alphabet, then at most two "=".
bool looksEncrypted(std::string_view name)
{
    const std::size_t end = name.find_last_not_of('=');
    if (end == std::string_view::npos || name.size() - end - 1 > 2 || name.size() < 4) {
        return false;
    }
    return std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(end) + 1,
                       isBase64UrlCharacter);
}

std::string joinPath(const std::string& directory, std::string_view name)
{
    return (directory == "/" ? std::string() : directory) + "/" + std::string(name);
}

// The salt of a token text of either format, which tells a backup of the token apart from
// any other token; nothing (and the reason) for a text that is no token.
std::optional<std::string> tokenSalt(std::string_view xml, std::string& error)
{
    if (token::isHardenedTokenText(xml)) {
        token::HardenedFields fields;
        return token::parseHardenedToken(xml, fields, error) ? std::optional(fields.encodedSalt)
                                                             : std::nullopt;
    }
    token::TokenFields fields;
    return token::parseTokenDocument(xml, fields, error) ? std::optional(fields.encodedSalt) : std::nullopt;
}

std::optional<std::string> readTokenSalt(const std::filesystem::path& file)
{
    std::string xml;
    std::string error;
    if (!util::readSmallFile(file, kMaxTokenBytes, xml, error)) {
        return std::nullopt;
    }
    return tokenSalt(xml, error);
}

bool hasXmlExtension(const std::filesystem::path& file)
{
    return util::asciiLower(file.extension().string()) == ".xml";
}

// A backup is a copy of this drive's token, made now or before a password change: the salt
// stays for the drive's life, and another drive's differs.
bool holdsBackup(const std::filesystem::path& place, const std::filesystem::path& tokenPath,
                 const std::string& salt)
{
    std::error_code ec;
    const auto isBackup = [&](const std::filesystem::path& file) {
        std::error_code same;
        return !std::filesystem::equivalent(file, tokenPath, same) && readTokenSalt(file) == salt;
    };
    if (std::filesystem::is_regular_file(place, ec)) {
        return isBackup(place);
    }
    for (std::filesystem::directory_iterator it(place, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (hasXmlExtension(it->path()) && it->is_regular_file(fileEc) &&
            it->file_size(fileEc) <= kMaxTokenBytes && isBackup(it->path())) {
            return true;
        }
    }
    return false;
}

std::string placesText(const std::vector<std::filesystem::path>& places)
{
    std::string text;
    for (const auto& place : places) {
        text += (text.empty() ? "" : ", ") + place.string();
    }
    return text;
}

// The walk of the backing tree of an unlocked drive.
class TreeWalker
{
public:
    TreeWalker(fs::DriveFs& drive, const DriveCheckRequest& request, std::size_t pathLimit,
               std::vector<Finding>& findings)
        : m_drive(drive), m_request(request), m_pathLimit(pathLimit), m_findings(findings)
    {
    }

    void walk(const std::filesystem::path& backingDir, const std::string& plainDir,
              const std::string& storedDir)
    {
        std::map<std::string, std::string> real; // stored -> plain
        std::map<std::string, fs::ConflictCopy> copies;
        // Names may be encrypted per directory: they are read relative to the directory.
        const fs::UniqueFd dirFd(::open(backingDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dirFd.valid()) {
            add(FindingKind::UnreadableEntry, plainDir,
                std::error_code(errno, std::generic_category()).message());
            return;
        }
        std::error_code ec;
        for (std::filesystem::directory_iterator it(backingDir, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string stored = it->path().filename().string();
            if ((plainDir == "/" && fs::IsHiddenRootEntry(stored)) || m_drive.names().isBookkeeping(stored)) {
                continue;
            }
            classify(dirFd.get(), stored, plainDir, real, copies);
        }
        if (ec) {
            add(FindingKind::UnreadableEntry, plainDir, ec.message());
            return;
        }
        std::set<std::string> realNames;
        for (const auto& [stored, plain] : real) {
            realNames.insert(plain);
        }
        const std::map<std::string, std::string> shown = fs::assignDisplayNames(realNames, copies);
        for (const auto& [stored, copy] : copies) {
            const auto name = shown.find(stored);
            if (name == shown.end()) {
                const std::string natural = fs::conflictDisplayName(copy.plainName, copy.suffix);
                add(FindingKind::NameTooLong, joinPath(plainDir, stored),
                    std::to_string(fs::utf16Length(natural)));
                continue;
            }
            add(FindingKind::ConflictCopy, joinPath(plainDir, stored), joinPath(plainDir, name->second));
            real.emplace(stored, name->second);
        }
        for (const auto& [stored, plain] : real) {
            visit(backingDir / stored, joinPath(plainDir, plain), storedDir + "\\" + stored, plain);
        }
    }

private:
    void classify(int dirFd, const std::string& stored, const std::string& plainDir,
                  std::map<std::string, std::string>& real, std::map<std::string, fs::ConflictCopy>& copies)
    {
        const fs::NameCodec& names = m_drive.names();
        const auto decrypt = [&names, dirFd](std::string_view text) {
            return names.decryptName(dirFd, text);
        };
        if (!m_drive.mapper().encryptsNames() || stored == fs::kTokenFileName) {
            real.emplace(stored, stored);
        } else if (std::string plain = decrypt(stored); !plain.empty()) {
            real.emplace(stored, std::move(plain));
        } else if (auto copy = fs::recogniseConflictCopy(stored, decrypt)) {
            copies.emplace(stored, std::move(*copy));
        } else {
            add(looksEncrypted(stored) ? FindingKind::UndecryptableName : FindingKind::ForeignPlainFile,
                joinPath(plainDir, stored), {});
        }
    }

    void visit(const std::filesystem::path& backing, const std::string& plainPath,
               const std::string& storedPath, const std::string& plainName)
    {
        const std::size_t nameUnits =
            std::max(fs::utf16Length(plainName), fs::utf16Length(backing.filename().string()));
        if (nameUnits > kMaxPortableNameUnits) {
            add(FindingKind::NameTooLong, plainPath, std::to_string(nameUnits));
        }
        if (const std::size_t units = fs::utf16Length(storedPath); units > m_pathLimit) {
            add(FindingKind::PathTooLong, plainPath, std::to_string(units));
        }
        struct stat st
        {
        };
        if (::lstat(backing.c_str(), &st) != 0) {
            add(FindingKind::UnreadableEntry, plainPath,
                std::error_code(errno, std::generic_category()).message());
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            walk(backing, plainPath, storedPath);
        } else if (S_ISREG(st.st_mode) && m_request.contents) {
            std::string detail;
            switch (m_request.verifier(m_drive, plainPath, detail)) {
            case ContentVerdict::Intact:
                break;
            case ContentVerdict::Unreadable:
                add(FindingKind::UnreadableEntry, plainPath, detail);
                break;
            case ContentVerdict::FailsAuthentication:
                add(FindingKind::FailsAuthentication, plainPath, detail);
                break;
            }
        }
    }

    void add(FindingKind kind, std::string where, std::string detail)
    {
        m_findings.push_back({kind, std::move(where), std::move(detail)});
    }

    fs::DriveFs& m_drive;
    const DriveCheckRequest& m_request;
    std::size_t m_pathLimit;
    std::vector<Finding>& m_findings;
};

void checkTree(const DriveCheckRequest& request, token::DriveContext& context, DriveCheckReport& report)
{
    context.setBackingFolder(request.folder);
    std::unique_ptr<fs::DriveFs> drive;
    try {
        drive = fs::DriveFs::forDrive(context);
    } catch (const std::exception& e) {
        report.findings.push_back({FindingKind::UnreadableEntry, request.folder.string(), e.what()});
        return;
    }
    const std::size_t pathLimit =
        context.options().longFileNames ? kMaxPortableLongPathUnits : kMaxPortablePathUnits;
    TreeWalker(*drive, request, pathLimit, report.findings).walk(request.folder, "/", "");
    report.namesChecked = true;
}

} // namespace

ContentVerdict readWholeFile(fs::DriveFs& drive, const std::string& plainPath, std::string& detail)
{
    std::uint64_t handle = 0;
    int result = drive.open(plainPath, O_RDONLY, &handle);
    if (result != 0) {
        detail = std::error_code(-result, std::generic_category()).message();
        return ContentVerdict::Unreadable;
    }
    std::vector<char> buffer(kReadChunk);
    off_t offset = 0;
    ssize_t got = 0;
    while ((got = drive.read(handle, buffer.data(), buffer.size(), offset)) > 0) {
        offset += got;
    }
    drive.release(handle);
    if (got < 0) {
        detail = std::error_code(static_cast<int>(-got), std::generic_category()).message();
        // Hardened contents answer EIO exactly when a block fails its authentication.
        return got == -EIO && drive.format() == token::DriveFormat::Hardened
                   ? ContentVerdict::FailsAuthentication
                   : ContentVerdict::Unreadable;
    }
    return ContentVerdict::Intact;
}

DriveCheckReport checkDrive(const DriveCheckRequest& request)
{
    DriveCheckReport report;
    const std::filesystem::path tokenPath = token::tokenPathFor(request.folder);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(tokenPath, ec))) {
        report.findings.push_back({FindingKind::TokenMissing, tokenPath.string(), {}});
        return report;
    }
    std::string xml;
    std::string error;
    if (!util::readSmallFile(tokenPath, kMaxTokenBytes, xml, error)) {
        report.findings.push_back({FindingKind::TokenUnreadable, tokenPath.string(), error});
        return report;
    }
    const std::optional<std::string> salt = tokenSalt(xml, error);
    if (!salt) {
        report.findings.push_back({FindingKind::NotAToken, tokenPath.string(), error});
        return report;
    }
    report.tokenReadable = true;
    const bool backedUp =
        std::any_of(request.backupPlaces.begin(), request.backupPlaces.end(),
                    [&](const auto& place) { return holdsBackup(place, tokenPath, *salt); });
    if (!backedUp) {
        report.findings.push_back({FindingKind::NoTokenBackup, placesText(request.backupPlaces), {}});
    }
    if (!request.drivePassword) {
        return report;
    }
    token::DriveContext context(*request.drivePassword);
    if (context.unlock(tokenPath, &error) != token::TokenLoadStatus::Loaded) {
        report.findings.push_back({FindingKind::WrongPassword, tokenPath.string(), {}});
        return report;
    }
    checkTree(request, context, report);
    return report;
}

std::vector<std::filesystem::path> defaultBackupPlaces()
{
    std::error_code ec;
    std::vector<std::filesystem::path> places{std::filesystem::current_path(ec)};
    if (ec) {
        places.clear();
    }
    const std::filesystem::path home = paths::homeFolder();
    if (!home.empty()) {
        places.push_back(home);
        places.push_back(home / "Documents");
    }
    return places;
}

std::string describeFinding(const Finding& finding)
{
    const auto text = [&](int id, std::vector<std::string> args) {
        return formatAppString(loadAppString(id), args);
    };
    switch (finding.kind) {
    case FindingKind::TokenMissing:
        return text(kMsgTokenMissing, {finding.where});
    case FindingKind::TokenUnreadable:
        return text(kMsgTokenUnreadable, {finding.where, finding.detail});
    case FindingKind::NotAToken:
        return text(kMsgNotAToken, {finding.where, finding.detail});
    case FindingKind::WrongPassword:
        return text(kMsgWrongPassword, {finding.where});
    case FindingKind::NoTokenBackup:
        return text(kMsgNoTokenBackup, {finding.where});
    case FindingKind::UndecryptableName:
        return text(kMsgUndecryptableName, {finding.where});
    case FindingKind::ConflictCopy:
        return text(kMsgConflictCopy, {finding.where, finding.detail});
    case FindingKind::ForeignPlainFile:
        return text(kMsgForeignPlainFile, {finding.where});
    case FindingKind::NameTooLong:
        return text(kMsgNameTooLong, {finding.where, finding.detail});
    case FindingKind::PathTooLong:
        return text(kMsgPathTooLong, {finding.where, finding.detail});
    case FindingKind::UnreadableEntry:
        return text(kMsgUnreadableEntry, {finding.where, finding.detail});
    case FindingKind::FailsAuthentication:
        return text(kMsgFailsAuthentication, {finding.where, finding.detail});
    }
    return {};
}

std::string describeCleanCheck(const std::filesystem::path& folder)
{
    return formatAppString(loadAppString(kMsgCheckClean), {folder.string()});
}

} // namespace kestrava::drives
