#include "core/drives/DriveFileDeletion.h"

#include "core/access/DrivePasswordCheck.h"
#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/crypto/Cfb.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/RememberedPassword.h"
#include "core/fs/FormatCodecs.h"
#include "core/fs/FsError.h"
#include "core/fs/NameCodec.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"
#include "core/token/DriveContext.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>

namespace kestrava::drives {
namespace {

using token::DriveContext;

constexpr std::size_t kMaxNamesShown = 20;

// A context that has opened the token at tokenPath, or nothing.
std::unique_ptr<DriveContext> openWithPassword(std::string_view drivePassword,
                                               const std::filesystem::path& tokenPath)
{
    auto context = std::make_unique<DriveContext>(drivePassword);
    if (drivePassword.empty() || context->unlock(tokenPath) != token::TokenLoadStatus::Loaded) {
        return nullptr;
    }
    return context;
}

std::unique_ptr<DriveContext> openWithRemembered(const DriveKeySources& keys,
                                                 const std::filesystem::path& tokenPath)
{
    if (keys.rememberedPwd.empty()) {
        return nullptr;
    }
    auto context = std::make_unique<DriveContext>();
    context->SetPassword(keys.rememberedPwd);
    context->UnprotectPassword();
    if (!context->LoadToken(tokenPath, false)) {
        return nullptr;
    }
    readRememberedPassword(*context, keys.rememberedPwd, keys.loginLayer, tokenPath);
    return passwordOpensToken(*context) ? std::move(context) : nullptr;
}

std::unique_ptr<DriveContext> openWithPrompt(Prompter& prompter, const DriveKeySources& keys,
                                             const std::filesystem::path& tokenPath)
{
    DrivePasswordRequest request = keys.prompt;
    const std::filesystem::path folder = tokenPath.parent_path();
    request.check = [folder](std::string_view typed) { return checkDrivePassword(folder, typed).accepted; };
    const DrivePasswordAnswer answer = prompter.askDrivePassword(request);
    if (answer.outcome != PasswordOutcome::Entered) {
        return nullptr;
    }
    return openWithPassword(drivePasswordFor(tokenPath, answer.password), tokenPath);
}

std::unique_ptr<DriveContext> openDriveToken(Prompter& prompter, const DriveKeySources& keys,
                                             const std::filesystem::path& tokenPath)
{
    std::unique_ptr<DriveContext> context;
    if (keys.unlocked) {
        context = openWithPassword(keys.unlocked->password(), tokenPath);
    }
    if (!context) {
        context = openWithRemembered(keys, tokenPath);
    }
    if (!context) {
        context = openWithPrompt(prompter, keys, tokenPath);
    }
    return context;
}

// Walks the backing folder and deletes the drive's entries, collecting the others.
class Cleaner
{
public:
    Cleaner(const std::filesystem::path& folder, const fs::NameCodec* names)
        : m_folder(folder), m_names(names)
    {
    }

    void cleanFolder()
    {
        const std::string warning = fs::warningFolderName();
        for (const std::filesystem::path& entry : entries(m_folder)) {
            const std::string name = entry.filename().string();
            if (name == fs::kTokenFileName) {
                continue; // last, once everything it opens is gone
            }
            if (name == warning) {
                removeIfEmpty(entry, true);
            } else if (!fs::IsReplacedTokenName(name) && isDrivesName(m_folder, name)) {
                removeOwned(entry);
            } else {
                keep(entry);
            }
        }
    }

    const std::vector<std::string>& leftOver() const { return m_leftOver; }
    const std::string& error() const { return m_error; }

private:
    // Names people give files never hold control characters; a plain name that happens to
    // decrypt usually yields some.
    static bool holdsControlCharacter(const std::string& plain)
    {
        return std::any_of(plain.begin(), plain.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte == 0x7F;
        });
    }

    // A name the drive wrote decrypts, and encrypts back to exactly itself. Decrypting alone
    // accepts plain names such as "notes.txt" now and then (the decoding stops at the ".");
    // a plain file must never be taken for the drive's.
    bool isDrivesName(const std::filesystem::path& directory, const std::string& name) const
    {
        if (m_names == nullptr) {
            return false;
        }
        if (m_names->perDirectory()) {
            // Authenticated names: what opens is the drive's, and so is the format's own
            // bookkeeping beside them.
            if (m_names->isBookkeeping(name)) {
                return true;
            }
            const int fd = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                return false;
            }
            const fs::UniqueFd dir(fd);
            return !m_names->decryptName(dir.get(), name).empty();
        }
        const std::string plain = m_names->decryptName(-1, name);
        if (plain.empty() || holdsControlCharacter(plain)) {
            return false;
        }
        try {
            return m_names->encryptName(-1, plain, false) == name;
        } catch (const fs::FsError&) {
            return false;
        }
    }

    // The format's bookkeeping last: the names before it are read with its help.
    std::vector<std::filesystem::path> entries(const std::filesystem::path& directory)
    {
        std::vector<std::filesystem::path> found;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
            found.push_back(it->path());
        }
        if (m_names != nullptr) {
            std::stable_partition(found.begin(), found.end(), [this](const std::filesystem::path& p) {
                return !m_names->isBookkeeping(p.filename().string());
            });
        }
        if (ec) {
            fail(directory, ec);
        }
        return found;
    }

    // An entry of the drive: a directory keeps what is not the drive's (a sync client's
    // conflict copy, say); anything else goes. Symbolic links are removed, never followed.
    void removeOwned(const std::filesystem::path& entry)
    {
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(entry, ec))) {
            for (const std::filesystem::path& child : entries(entry)) {
                const std::string name = child.filename().string();
                if (name == fs::kTokenFileName || isDrivesName(entry, name)) {
                    removeOwned(child);
                } else {
                    keep(child);
                }
            }
            removeIfEmpty(entry, false); // kept only for entries already named
            return;
        }
        std::filesystem::remove(entry, ec);
        if (ec) {
            fail(entry, ec);
        }
    }

    void removeIfEmpty(const std::filesystem::path& directory, bool nameWhenKept)
    {
        std::error_code ec;
        if (std::filesystem::is_empty(directory, ec) && !ec) {
            std::filesystem::remove(directory, ec);
            if (ec) {
                fail(directory, ec);
            }
            return;
        }
        if (!ec && nameWhenKept) {
            keep(directory);
        }
    }

    void keep(const std::filesystem::path& entry)
    {
        m_leftOver.push_back(entry.lexically_relative(m_folder).string());
    }

    void fail(const std::filesystem::path& entry, const std::error_code& ec)
    {
        writeLog("!DeleteDriveFiles: %s - %s", entry.c_str(), ec.message().c_str());
        if (m_error.empty()) {
            m_error = entry.string() + ": " + ec.message();
        }
    }

    std::filesystem::path m_folder;
    const fs::NameCodec* m_names;
    std::vector<std::string> m_leftOver;
    std::string m_error;
};

std::string nameList(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kMaxNamesShown; ++i) {
        text += (i == 0 ? "" : "\n") + names[i];
    }
    if (names.size() > kMaxNamesShown) {
        text += "\n" + formatAppString(loadAppString(kTextMoreNames),
                                       {std::to_string(names.size() - kMaxNamesShown)});
    }
    return text;
}

FileDeletionReport finish(Prompter& prompter, const std::filesystem::path& folder, const Cleaner& cleaner,
                          bool namesEncrypted)
{
    FileDeletionReport report;
    report.leftOver = cleaner.leftOver();
    std::error_code ec;
    if (cleaner.error().empty()) {
        // The token goes only once every file it opens is gone.
        std::filesystem::remove(token::tokenPathFor(folder), ec);
    }
    const std::string error = !cleaner.error().empty() ? cleaner.error() : ec ? ec.message() : std::string();
    if (!error.empty()) {
        report.outcome = FileDeletion::Failed;
        prompter.messageBox(kMsgDeleteFilesFailed, {folder.string(), error}, Buttons::OK, Icon::Error);
        return report;
    }
    if (report.leftOver.empty()) {
        // Removes only an empty folder: a file that has just arrived keeps it.
        std::filesystem::remove(folder, ec);
        if (ec) {
            writeLog("!RemoveDrive DeleteFiles: %s - %s", folder.c_str(), ec.message().c_str());
            report.outcome = FileDeletion::Failed;
            prompter.messageBox(kMsgDeleteFilesFailed, {folder.string(), ec.message()}, Buttons::OK,
                                Icon::Error);
            return report;
        }
        report.outcome = FileDeletion::FolderRemoved;
        writeLog("RemoveDrive DeleteFiles: %s", folder.c_str());
        return report;
    }
    report.outcome = FileDeletion::PartlyKept;
    writeLog("RemoveDrive DeleteFiles: %s - %zu entries kept", folder.c_str(), report.leftOver.size());
    prompter.messageBox(namesEncrypted ? kMsgFilesLeft : kMsgPlainNamesLeft,
                        {folder.string(), nameList(report.leftOver)}, Buttons::OK, Icon::Information);
    return report;
}

} // namespace

FileDeletionReport deleteDriveFiles(Prompter& prompter, const std::filesystem::path& folder,
                                    const DriveKeySources& keys)
{
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    DriveContext probe;
    bool namesEncrypted = true;
    if (probe.loadTokenDetailed(tokenPath, false, nullptr) == token::TokenLoadStatus::Loaded) {
        namesEncrypted = probe.options().fileNameEncryption;
    }
    if (!namesEncrypted) {
        Cleaner cleaner(folder, nullptr);
        cleaner.cleanFolder();
        return finish(prompter, folder, cleaner, false);
    }
    const std::unique_ptr<DriveContext> context = openDriveToken(prompter, keys, tokenPath);
    if (!context || context->masterKey().empty()) {
        writeLog("!DeleteDriveFiles: %s - the drive's key could not be had", folder.c_str());
        prompter.messageBox(kMsgDeleteKeyMissing, {folder.string()}, Buttons::OK, Icon::Warning);
        return {FileDeletion::KeyUnavailable, {}};
    }
    const fs::DriveCodecs codecs = fs::makeCodecs(context->format(), context->masterKey());
    Cleaner cleaner(folder, codecs.names.get());
    cleaner.cleanFolder();
    return finish(prompter, folder, cleaner, true);
}

} // namespace kestrava::drives
