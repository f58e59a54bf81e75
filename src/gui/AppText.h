// Visible texts of the desktop app, taken from the string table by id.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace kestrava::gui {

// Ids of the texts the windows show.
namespace text {
inline constexpr int SelectDestination = 3;
inline constexpr int CurrentPassword = 8;
inline constexpr int ConfirmPassword = 9;
inline constexpr int RememberPassword = 10;
inline constexpr int WizardStep = 34;
inline constexpr int TokenExportFilter = 35;
inline constexpr int PasswordTooShort = 46;
inline constexpr int OpenExportTitle = 49;
inline constexpr int NewPassword = 57;
inline constexpr int FolderTitle = 58;
inline constexpr int Cancel = 67;
inline constexpr int TwoFactorTitle = 116;
inline constexpr int TwoFactorMessage = 117;
inline constexpr int DrivePasswordLabel = 129;
inline constexpr int IncorrectPassword = 152;
inline constexpr int LoginTitle = 157;
inline constexpr int LoginMessage = 158;
inline constexpr int LoginPasswordLabel = 159;
inline constexpr int DriveColumn = 177;
inline constexpr int VolumeName = 178;
inline constexpr int FolderLocation = 179;
inline constexpr int BackupSecurityToken = 203;
inline constexpr int LongNamesHint = 222;
inline constexpr int ImportedFile = 223;
inline constexpr int DriveLetter = 224;
inline constexpr int AutoMountHint = 227;
inline constexpr int LocalFolder = 228;
inline constexpr int EnableAutoMount = 231;
inline constexpr int LongNames = 232;
inline constexpr int PasswordInformation = 235;
inline constexpr int Options = 236;
inline constexpr int NewDriveWizard = 241;
inline constexpr int GoogleAuthenticator = 257;
inline constexpr int KeyLabel = 260;
inline constexpr int EnterDrivePasswordPrompt = 263;
inline constexpr int EnterDrivePasswordTitle = 264;
inline constexpr int DriveInformation = 267;
inline constexpr int OK = 269;
inline constexpr int BrowseHint = 294;
inline constexpr int RememberHint = 295;
inline constexpr int CodeHint = 319;
inline constexpr int LoginPasswordHint = 320;
inline constexpr int NameEncryption = 343;
inline constexpr int CaseInsensitive = 344;

inline constexpr int Caption = 1300;
inline constexpr int WindowTitle = 1301;
inline constexpr int NewDrive = 1302;
inline constexpr int NewDriveTip = 1303;
inline constexpr int EditDrive = 1304;
inline constexpr int EditDriveTip = 1305;
inline constexpr int MountDrive = 1306;
inline constexpr int UnmountDrive = 1307;
inline constexpr int MountTip = 1308;
inline constexpr int DeleteDrive = 1309;
inline constexpr int DeleteDriveTip = 1310;
inline constexpr int SettingsButton = 1311;
inline constexpr int SettingsTip = 1312;
inline constexpr int Help = 1313;
inline constexpr int HelpTip = 1314;
inline constexpr int Refresh = 1315;
inline constexpr int RefreshTip = 1316;
inline constexpr int MinimizeToTray = 1317;
inline constexpr int MinimizeToTrayTip = 1318;
inline constexpr int ListCaption = 1319;
inline constexpr int OpenInFileManager = 1320;
inline constexpr int AdvancedOptions = 1321;
inline constexpr int OpenFolderLocation = 1322;
inline constexpr int ExitKestrava = 1323;
inline constexpr int TrayOpen = 1324;
inline constexpr int TraySettings = 1325;
inline constexpr int TrayAbout = 1326;
inline constexpr int TrayExit = 1327;
inline constexpr int MinimizedBalloon = 1328;
inline constexpr int Yes = 1329;
inline constexpr int No = 1330;
inline constexpr int MountError = 1331;
inline constexpr int PathMissing = 1332;
inline constexpr int YesButton = 1333;
inline constexpr int NoButton = 1334;
inline constexpr int NotAvailableYet = 1335;
inline constexpr int DriveListName = 1336;
inline constexpr int PasswordAccepted = 1337;
inline constexpr int PasswordRefused = 1338;
inline constexpr int CheckClean = 1432;
inline constexpr int CheckDrive = 1433;
inline constexpr int CheckTitle = 1434;
inline constexpr int CheckingDrive = 1435;
inline constexpr int CheckProblems = 1436;
inline constexpr int NotSaved = 1464;
} // namespace text

// The text with id, placeholders filled in order from args.
QString appText(int id, const QStringList& args = {});

// Gives a widget (button, label, check box, group box, window) or action the text textId and
// the tooltip tipId (0: none) now, and remembers the ids so retranslate() can set them again.
void bindText(QObject* target, int textId, int tipId = 0);
// Sets every bound text below root (root included) again from the string table: the language
// changed while the window was open.
void retranslate(QObject* root);

// The text without its colons ("Kestrava Login Password:" as a window caption).
QString appTextWithoutColons(int id);

} // namespace kestrava::gui
