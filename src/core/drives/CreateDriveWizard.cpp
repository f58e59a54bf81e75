#include "core/drives/CreateDriveWizard.h"

#include "core/access/LegacyCodePage.h"
#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"
#include "core/drives/MountReport.h"
#include "core/drives/MountedDrives.h"
#include "core/drives/ReplacedToken.h"
#include "core/drives/TokenBackup.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

namespace kestrava::drives {
namespace {

using token::DriveContext;

constexpr int kTextDriveLetter = 224; // "Drive Letter:"
constexpr int kTextDriveLabel = 225;  // "Drive Label:"
constexpr int kLastPage = 5;

DriveRow unmountedRow(const DriveContext& context, const CloudFolderLookup& cloudFolders)
{
    DriveRow row;
    row.letter = context.driveLetter();
    row.label = context.label();
    row.folderCell = context.backingFolder().string();
    row.mounted = MountState::NotMounted;
    row.autoMount = context.autoMount;
    row.passwordRemembered = context.passwordRemembered;
    row.icon = rowIconIndex(context.backingFolder(), cloudFolders);
    return row;
}

} // namespace

CreateDriveWizard::CreateDriveWizard(DriveServices& services, CloudTraces traces,
                                     host::MountOptions mountOptions)
    : m_services(services), m_traces(std::move(traces)), m_mountOptions(mountOptions), m_label(kDefaultLabel)
{
    m_announcement.loadCaptionId = kCaptionImportDrive;
}

bool CreateDriveWizard::open()
{
    m_letters = freeDriveLetters(m_services.host);
    if (m_letters.empty()) {
        m_services.prompter.messageBox(kMsgNoFreeLetters, {}, Buttons::OK, Icon::Information);
        return false;
    }
    m_letter = m_letters.back();
    m_rememberPassword = true;
    m_page = 1;
    return true;
}

bool CreateDriveWizard::providerAvailable(CloudProvider provider) const
{
    return !cloudFolder(provider, m_traces).empty();
}

bool CreateDriveWizard::chooseLocation(CloudProvider provider)
{
    m_label = kDefaultLabel;
    const auto location = wizardLocation(provider, m_traces);
    if (!location) {
        return false;
    }
    setFolder(location->folder);
    m_label = location->label;
    return true;
}

void CreateDriveWizard::chooseLocalFolder()
{
    const ProposedLocation location = localFolderLocation(m_traces);
    setFolder(location.folder);
    m_label = location.label;
}

void CreateDriveWizard::setFolder(std::string folder)
{
    m_folder = std::move(folder);
    m_importFile.clear();
}

void CreateDriveWizard::setPasswords(crypto::SecureString password, crypto::SecureString confirmation)
{
    m_password = std::move(password);
    m_confirmation = std::move(confirmation);
}

WizardStep CreateDriveWizard::next()
{
    switch (m_page) {
    case 1:
        return leaveWelcome();
    case 2:
        return leaveLocation();
    case 3:
        return leavePassword();
    case 4:
        return leaveLetter();
    default:
        return WizardStep::Close;
    }
}

void CreateDriveWizard::back()
{
    // The finish page has no Back: the drive has been made by then.
    if (m_page > 1 && m_page < kLastPage) {
        --m_page;
    }
}

WizardStep CreateDriveWizard::leaveWelcome()
{
    switch (m_choice) {
    case WizardChoice::None:
        return WizardStep::Stay;
    case WizardChoice::Connect:
        return WizardStep::OpenRecovery;
    case WizardChoice::Create:
        break;
    }
    m_page = 2;
    return WizardStep::Moved;
}

WizardStep CreateDriveWizard::leaveLocation()
{
    Prompter& prompter = m_services.prompter;
    if (m_folder.empty()) {
        prompter.messageBox(kMsgChooseDestination, {}, Buttons::OK, Icon::None);
        return WizardStep::Stay;
    }
    if (m_label.empty()) {
        prompter.messageBox(kMsgFieldsEmpty, {}, Buttons::OK, Icon::Error);
        return WizardStep::Stay;
    }
    m_folder = normalizeBackingFolder(m_folder);
    if (!checkFolderOverlap(m_services.settings, m_services.host, prompter, m_folder) ||
        !validateDriveLocation(m_services.settings, prompter, m_folder, m_label, "", false,
                               ValidationMode::Wizard, m_validation)) {
        return WizardStep::Stay;
    }
    if (m_importFile.empty()) {
        switch (offerExistingToken(m_services.settings, prompter, m_folder, m_validation, m_announcement,
                                   m_importFile)) {
        case TokenOffer::NoToken:
        case TokenOffer::Adopted:
        case TokenOffer::Declined:
            break;
        case TokenOffer::ValidationFailed:
        case TokenOffer::ImportFailed:
        case TokenOffer::Unanswered:
            return WizardStep::Stay;
        }
    }
    m_page = 3;
    return WizardStep::Moved;
}

WizardStep CreateDriveWizard::leavePassword()
{
    Prompter& prompter = m_services.prompter;
    if (m_importFile.empty()) {
        if (const int message = checkNewPassword(m_password, m_confirmation); message != 0) {
            prompter.messageBox(message, {}, Buttons::OK, Icon::Error);
            return WizardStep::Stay;
        }
    } else {
        // The import was announced when it was offered; this is only its password check.
        m_announcement.announce = false;
        token::TokenOptions options;
        if (m_password.empty() ||
            !checkTokenImport(prompter, m_importFile, drivePasswordFor(m_importFile, m_password),
                              m_announcement, &options)) {
            prompter.messageBox(kMsgImportPasswordWrong, {}, Buttons::OK, Icon::Error);
            return WizardStep::Stay;
        }
        m_longFileNames = options.longFileNames;
    }
    enterLetterPage();
    return WizardStep::Moved;
}

void CreateDriveWizard::enterLetterPage()
{
    m_page = 4;
    m_autoMount = true;
    m_longFileNames = true;
}

WizardStep CreateDriveWizard::leaveLetter()
{
    if (m_letter.empty()) {
        m_services.prompter.messageBox(kMsgFieldsEmpty, {}, Buttons::OK, Icon::Error);
        return WizardStep::Stay;
    }
    if (!validateDriveLocation(m_services.settings, m_services.prompter, "", kNotCompared, m_letter, false,
                               ValidationMode::Wizard, m_validation)) {
        return WizardStep::Stay;
    }
    m_announcement.announce = false;
    m_creation = runCreation();
    // The finish page follows whatever the run reported; a failure had its own message.
    m_page = kLastPage;
    return WizardStep::Moved;
}

WizardCreation CreateDriveWizard::runCreation()
{
    Prompter& prompter = m_services.prompter;
    const std::filesystem::path tokenPath = token::tokenPathFor(m_folder);
    auto context =
        std::make_shared<DriveContext>(m_importFile.empty() ? drivePasswordForNewToken(m_password, m_format)
                                                            : drivePasswordFor(tokenPath, m_password));
    m_services.mounted.add(context);
    context->autoMount = m_autoMount;
    context->setLabel(m_label);
    context->setOptions({true, m_longFileNames, m_caseInsensitive});
    context->setFormat(m_format);
    std::string error;
    bool tokenReady = false;
    if (!m_importFile.empty()) {
        std::error_code ec;
        if (!std::filesystem::exists(tokenPath, ec)) {
            m_services.mounted.remove(context.get());
            prompter.messageBoxWithCaption(kCaptionCreateDrive, kMsgTokenUnreadable,
                                           {tokenPath.string(), m_folder, m_label}, Buttons::OK, Icon::Error);
            return WizardCreation::Failed;
        }
        tokenReady = context->unlock(tokenPath, &error) == token::TokenLoadStatus::Loaded;
    } else if (keepReplacedToken(prompter, m_folder)) {
        tokenReady = context->CreateToken(tokenPath, &error);
    } else {
        // The token there could not be kept, so it is not replaced (reported).
        m_services.mounted.remove(context.get());
        return WizardCreation::Failed;
    }
    if (!tokenReady) {
        // Without a token on disk the drive's key would be lost with this context.
        writeLog("!WizardCreate Token: %s", error.c_str());
        m_services.mounted.remove(context.get());
        prompter.messageBox(kMsgTokenSaveError, {}, Buttons::OK, Icon::Error);
        return WizardCreation::Failed;
    }
    context->setBackingFolder(m_folder);
    context->setDriveLetter(m_letter);

    NewDrive drive;
    drive.folder = m_folder;
    drive.label = m_label;
    drive.letter = m_letter;
    drive.rememberPassword = m_rememberPassword;
    drive.autoMount = m_autoMount;
    bool recordSaved = false;
    if (!m_services.host.IsDriverInstalled()) {
        m_services.mounted.setMounted(*context, false);
        recordSaved = saveNewDriveRecord(m_services, drive, *context);
        if (recordSaved) {
            m_services.rows.addRow(unmountedRow(*context, m_services.cloudFolders));
        }
    }
    const host::MountResult result = m_services.host.InstallFileSystem(*context, m_mountOptions);
    if (result.outcome != host::MountOutcome::Mounted) {
        writeLog("!WizardCreate InstallFileSystem: %s - %s", m_letter.c_str(), result.detail.c_str());
        reportMountFailure(prompter, m_letter, result);
        const auto listed = [&] { m_services.rows.addRow(unmountedRow(*context, m_services.cloudFolders)); };
        return keepUnmountedDrive(m_services, drive, *context, recordSaved, listed,
                                  kCaptionCreateKestravaDrive)
                   ? WizardCreation::NotMounted
                   : WizardCreation::Failed;
    }
    if (!recordSaved && !recordMountedDrive(m_services, drive, *context)) {
        return WizardCreation::Failed;
    }
    m_services.mounted.setMounted(*context, true);
    if (m_services.requestRefresh) {
        m_services.requestRefresh();
    } else {
        doRefreshDrv(m_services);
    }
    createWarningFolder(m_folder);
    return WizardCreation::Mounted;
}

std::string CreateDriveWizard::finishLetterLine() const
{
    return loadAppString(kTextDriveLetter) + "  " + m_letter.substr(0, 1);
}

std::string CreateDriveWizard::finishLabelLine() const
{
    return loadAppString(kTextDriveLabel) + "  " + m_label;
}

std::string CreateDriveWizard::defaultBackupFileName() const
{
    return defaultBackupName(m_label);
}

bool CreateDriveWizard::backupToken(const std::filesystem::path& target)
{
    return saveTokenCopy(m_services.prompter, token::tokenPathFor(m_folder), target, m_label);
}

std::optional<std::filesystem::path> CreateDriveWizard::folderToOpen() const
{
    if (!m_openDrive || m_creation != WizardCreation::Mounted) {
        return std::nullopt;
    }
    return m_services.host.mountPointFor(m_letter);
}

} // namespace kestrava::drives
