// The new-drive wizard as a page state machine, without any widgets: 1 welcome (create or
// connect), 2 location and label, 3 password (new, or the current one of an adopted token),
// 4 drive letter and options, 5 finish. The desktop app shows the pages; tests walk them.
#pragma once

#include "core/crypto/SecureBytes.h"
#include "core/drives/CloudFolders.h"
#include "core/drives/DriveServices.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/TokenImport.h"
#include "core/host/DriveHost.h"
#include "core/token/DriveFormat.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::drives {

enum class WizardChoice
{
    None,
    Create,  // "Create a New Kestrava drive"
    Connect, // "Connect to or restore an existing Kestrava drive"
};

enum class WizardStep
{
    Stay,         // a check failed (message shown) or Next is not enabled yet
    Moved,        // on the next page
    Close,        // the wizard closes (finish page done)
    OpenRecovery, // the wizard closes and the recovery dialog opens
};

enum class WizardCreation
{
    Mounted,
    NotMounted, // the record is saved, mounting failed (FUSE missing)
    Failed,     // nothing registered (message shown)
};

class CreateDriveWizard
{
public:
    explicit CreateDriveWizard(DriveServices& services, CloudTraces traces = {},
                               host::MountOptions mountOptions = {});

    // Fills the letter list. False when no letter is free (message 345): the wizard closes
    // before its first page.
    bool open();

    int page() const { return m_page; }
    WizardStep next();
    void back();

    // Page 1.
    void choose(WizardChoice choice) { m_choice = choice; }
    bool nextEnabled() const { return m_page != 1 || m_choice != WizardChoice::None; }

    // Page 2. A provider that is not found is shown disabled (tooltip message 318).
    bool providerAvailable(CloudProvider provider) const;
    bool chooseLocation(CloudProvider provider);
    void chooseLocalFolder();
    void setFolder(std::string folder); // any edit of the folder forgets an adopted token
    void setLabel(std::string label) { m_label = std::move(label); }
    const std::string& folder() const { return m_folder; }
    const std::string& label() const { return m_label; }

    // Page 3.
    bool adoptingToken() const { return !m_importFile.empty(); }
    const std::filesystem::path& importFile() const { return m_importFile; }
    void setPasswords(crypto::SecureString password, crypto::SecureString confirmation = {});
    void setRememberPassword(bool on) { m_rememberPassword = on; }

    // Page 4.
    const std::vector<std::string>& letters() const { return m_letters; }
    const std::string& letter() const { return m_letter; }
    void setLetter(std::string letter) { m_letter = std::move(letter); }
    bool autoMount() const { return m_autoMount; }
    bool longFileNames() const { return m_longFileNames; }
    bool caseInsensitive() const { return m_caseInsensitive; }
    void setAutoMount(bool on) { m_autoMount = on; }
    void setLongFileNames(bool on) { m_longFileNames = on; }
    void setCaseInsensitive(bool on) { m_caseInsensitive = on; }
    // The format of a new token; an adopted token keeps its own.
    token::DriveFormat format() const { return m_format; }
    void setFormat(token::DriveFormat format) { m_format = format; }

    // Page 5.
    std::string finishLetterLine() const; // "Drive Letter:  Z"
    std::string finishLabelLine() const;  // "Drive Label:  <label>"
    std::optional<WizardCreation> creation() const { return m_creation; }
    std::string defaultBackupFileName() const;
    bool backupToken(const std::filesystem::path& target);
    void setOpenDriveAfterClose(bool on) { m_openDrive = on; }
    // What to open in the file manager when the wizard closes, if anything.
    std::optional<std::filesystem::path> folderToOpen() const;

private:
    WizardStep leaveWelcome();
    WizardStep leaveLocation();
    WizardStep leavePassword();
    WizardStep leaveLetter();
    void enterLetterPage();
    WizardCreation runCreation();

    DriveServices& m_services;
    CloudTraces m_traces;
    host::MountOptions m_mountOptions;
    int m_page = 1;
    WizardChoice m_choice = WizardChoice::None;
    std::string m_folder; // empty: "Please select a destination."
    std::string m_label;
    std::filesystem::path m_importFile;
    crypto::SecureString m_password;
    crypto::SecureString m_confirmation;
    bool m_rememberPassword = true;
    std::vector<std::string> m_letters;
    std::string m_letter;
    bool m_autoMount = true;
    bool m_longFileNames = true;
    bool m_caseInsensitive = false; // names that differ only by case are different files
    token::DriveFormat m_format = token::DriveFormat::Compatible;
    bool m_openDrive = true;
    ValidationState m_validation;
    ImportAnnouncement m_announcement;
    std::optional<WizardCreation> m_creation;
};

} // namespace kestrava::drives
