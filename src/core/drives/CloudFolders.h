// The local folders of cloud-storage sync clients, found from each client's own traces, and the
// backing folder and label each choice proposes. Nothing is cached: every lookup reads the
// traces again, since clients come and go while the program runs. A client that is not found
// gives the empty string.
#pragma once

#include "core/drives/DriveListModel.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::drives {

// In row-icon order: the value is the icon of a drive inside that client's folder.
enum class CloudProvider
{
    Dropbox = 1,
    SkyDrive = 2,
    GoogleDrive = 3,
    Box = 4,
    Bitcasa = 5,
};

inline constexpr std::array<CloudProvider, 5> kCloudProviders = {
    CloudProvider::Dropbox, CloudProvider::SkyDrive, CloudProvider::GoogleDrive, CloudProvider::Box,
    CloudProvider::Bitcasa};

// Where the traces are read from. The defaults follow HOME and XDG_CONFIG_HOME at the time of
// each lookup; tests point them at temporary folders.
struct CloudTraces
{
    std::filesystem::path home;        // empty: the user's home folder
    std::filesystem::path configHome;  // empty: $XDG_CONFIG_HOME or ~/.config
    std::filesystem::path mountInfo;   // empty: /proc/self/mountinfo
    std::filesystem::path processRoot; // empty: /proc
};

// The client's name as the location choices show it.
std::string_view cloudProviderName(CloudProvider provider);

// ~/.dropbox/host.db: the first line whose base64url decoding is an absolute path.
std::string GetDropboxFolder(const CloudTraces& traces = {});
// The OneDrive client's "sync_dir" in <config>/onedrive/config; without that setting,
// ~/OneDrive when that folder exists.
std::string GetSkyDriveFolder(const CloudTraces& traces = {});
// A mounted Google Drive file system (google-drive-ocamlfuse).
std::string GetGoogleDriveFolder(const CloudTraces& traces = {});
// A mounted Box file system (boxfs, or the Box WebDAV share through davfs).
std::string GetBoxFolder(const CloudTraces& traces = {});
// A running Bitcasa client and a mounted file system of type "bitcasa".
std::string GetBitcasaDrive(const CloudTraces& traces = {});

std::string cloudFolder(CloudProvider provider, const CloudTraces& traces = {});

// One line of host.db decoded: base64url up to the first character outside the alphabet.
std::string decodeHostDbLine(std::string_view line);

// What a location choice fills in: the backing folder and the drive label.
struct ProposedLocation
{
    std::string folder;
    std::string label;
};

// The creation wizard's choice: the client's folder + "/Kestrava", with the client's label.
// Nothing when the client is not found.
std::optional<ProposedLocation> wizardLocation(CloudProvider provider, const CloudTraces& traces = {});
// The recovery dialog's choice: the same folder; its labels differ for Bitcasa.
std::optional<ProposedLocation> recoveryLocation(CloudProvider provider, const CloudTraces& traces = {});
// "Local Folder": the home folder (created if missing) + "/Kestrava", label "Kestrava".
ProposedLocation localFolderLocation(const CloudTraces& traces = {});

// One entry of the advanced creation dialog's location menu: a client (enabled only when its
// folder is found), or "Custom" (no provider).
struct LocationMenuEntry
{
    std::optional<CloudProvider> provider;
    std::string text; // with its "&" mnemonic
    bool enabled = false;
};

// The menu in its order: the five clients, then "Custom".
std::vector<LocationMenuEntry> advancedLocationMenu(const CloudTraces& traces = {});

// The folder an entry puts into the folder field: the client's folder + "/" + the label typed
// so far, or for "Custom" the home folder + "/Kestrava". Nothing when the client is not found
// or the label cannot be a folder name (empty, ".", ".." or holding "/").
std::optional<std::string> advancedLocationFolder(std::optional<CloudProvider> provider,
                                                  std::string_view label, const CloudTraces& traces = {});

// The lookup the drive list uses for its row icons; reads the traces on every call.
CloudFolderLookup cloudFolderLookup(const CloudTraces& traces = {});

} // namespace kestrava::drives
