#include "core/drives/CloudFolders.h"

#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/crypto/Base64Url.h"
#include "core/host/MountTable.h"
#include "core/settings/CaseFold.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsDocument.h"
#include "core/util/AtomicFile.h"

#include <cctype>
#include <unistd.h>

namespace kestrava::drives {
namespace {

// Client traces are small; a huge file is not one of them.
constexpr std::size_t kMaxTraceBytes = 1024 * 1024;
constexpr const char* kFolderName = "Kestrava";

std::filesystem::path homeOf(const CloudTraces& traces)
{
    return traces.home.empty() ? paths::homeFolder() : traces.home;
}

std::filesystem::path configOf(const CloudTraces& traces)
{
    if (!traces.configHome.empty()) {
        return traces.configHome;
    }
    return traces.home.empty() ? paths::configHome() : traces.home / ".config";
}

std::vector<std::string> readLines(const std::filesystem::path& file)
{
    std::string text;
    std::string error;
    std::vector<std::string> lines;
    if (!util::readSmallFile(file, kMaxTraceBytes, text, error)) {
        return lines;
    }
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        begin = end + 1;
    }
    return lines;
}

std::string trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// A folder path as a trace may give it: absolute, printable, without trailing separators.
bool isPlausibleFolder(std::string_view text)
{
    if (text.empty() || text.front() != '/' || !settings::isValidUtf8(text)) {
        return false;
    }
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

std::string withoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string joinFolder(const std::string& folder, std::string_view name)
{
    const std::string base = withoutTrailingSlash(folder);
    return (base == "/" ? base : base + "/") + std::string(name);
}

std::string expandHome(const std::string& value, const CloudTraces& traces)
{
    if (value == "~") {
        return homeOf(traces).string();
    }
    if (value.rfind("~/", 0) == 0) {
        return (homeOf(traces) / value.substr(2)).string();
    }
    return value;
}

// The value of "key = value" or "key = "value"" in a client's config file; nothing when the
// key is absent. Comment lines start with "#".
std::optional<std::string> configValue(const std::filesystem::path& file, std::string_view key)
{
    for (const std::string& raw : readLines(file)) {
        const std::string line = trim(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || trim(line.substr(0, equals)) != key) {
            continue;
        }
        std::string value = trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::nullopt;
}

std::vector<host::MountEntry> mountTable(const CloudTraces& traces)
{
    return traces.mountInfo.empty() ? host::readMountTable() : host::readMountTable(traces.mountInfo);
}

template <typename Match> std::string mountedFolder(const CloudTraces& traces, Match match)
{
    for (const host::MountEntry& entry : mountTable(traces)) {
        if (match(entry) && isPlausibleFolder(entry.mountPoint.string())) {
            return withoutTrailingSlash(entry.mountPoint.string());
        }
    }
    return {};
}

// Whether a process of that name runs, other than this one.
bool processRuns(const CloudTraces& traces, std::string_view name)
{
    const std::filesystem::path root = traces.processRoot.empty() ? "/proc" : traces.processRoot;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid == self || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const auto lines = readLines(it->path() / "comm");
        if (!lines.empty() && settings::equalsIgnoringCase(trim(lines.front()), name)) {
            return true;
        }
    }
    return false;
}

std::string_view wizardLabel(CloudProvider provider)
{
    switch (provider) {
    case CloudProvider::Dropbox:
        return "Kestrava-Dropbox";
    case CloudProvider::SkyDrive:
        return "Kestrava-Skydrive";
    case CloudProvider::GoogleDrive:
        return "Kestrava-Google";
    case CloudProvider::Box:
        return "Kestrava-Box";
    case CloudProvider::Bitcasa:
        return "Kestrava-Bitcasa";
    }
    return kFolderName;
}

} // namespace

std::string_view cloudProviderName(CloudProvider provider)
{
    switch (provider) {
    case CloudProvider::Dropbox:
        return "Dropbox";
    case CloudProvider::SkyDrive:
        return "SkyDrive";
    case CloudProvider::GoogleDrive:
        return "Google Drive";
    case CloudProvider::Box:
        return "Box";
    case CloudProvider::Bitcasa:
        return "Bitcasa";
    }
    return {};
}

std::string decodeHostDbLine(std::string_view line)
{
    const crypto::SecureBytes bytes = crypto::base64UrlDecode(line);
    return std::string(bytes.begin(), bytes.end());
}

std::string GetDropboxFolder(const CloudTraces& traces)
{
    for (const std::string& line : readLines(homeOf(traces) / ".dropbox" / "host.db")) {
        const std::string decoded = decodeHostDbLine(line);
        if (isPlausibleFolder(decoded)) {
            return withoutTrailingSlash(decoded);
        }
    }
    return {};
}

std::string GetSkyDriveFolder(const CloudTraces& traces)
{
    const auto configured = configValue(configOf(traces) / "onedrive" / "config", "sync_dir");
    if (configured) {
        const std::string folder = expandHome(*configured, traces);
        if (isPlausibleFolder(folder)) {
            return withoutTrailingSlash(folder);
        }
        writeLog("!GetSkyDriveFolder: sync_dir is not an absolute folder");
    }
    const std::filesystem::path fallback = homeOf(traces) / "OneDrive";
    std::error_code ec;
    return std::filesystem::is_directory(fallback, ec) ? fallback.string() : std::string();
}

std::string GetGoogleDriveFolder(const CloudTraces& traces)
{
    return mountedFolder(traces,
                         [](const host::MountEntry& e) { return e.fsType == "fuse.google-drive-ocamlfuse"; });
}

std::string GetBoxFolder(const CloudTraces& traces)
{
    return mountedFolder(traces, [](const host::MountEntry& e) {
        return e.fsType == "fuse.boxfs" ||
               (e.fsType == "davfs" && e.source.find("dav.box.com") != std::string::npos);
    });
}

std::string GetBitcasaDrive(const CloudTraces& traces)
{
    // The mount table first: it is one small file, the process list is many.
    const std::string folder = mountedFolder(traces, [](const host::MountEntry& e) {
        return settings::equalsIgnoringCase(e.fsType, "bitcasa") ||
               settings::equalsIgnoringCase(e.fsType, "fuse.bitcasa");
    });
    return folder.empty() || !processRuns(traces, "Bitcasa") ? std::string() : folder;
}

std::string cloudFolder(CloudProvider provider, const CloudTraces& traces)
{
    switch (provider) {
    case CloudProvider::Dropbox:
        return GetDropboxFolder(traces);
    case CloudProvider::SkyDrive:
        return GetSkyDriveFolder(traces);
    case CloudProvider::GoogleDrive:
        return GetGoogleDriveFolder(traces);
    case CloudProvider::Box:
        return GetBoxFolder(traces);
    case CloudProvider::Bitcasa:
        return GetBitcasaDrive(traces);
    }
    return {};
}

std::optional<ProposedLocation> wizardLocation(CloudProvider provider, const CloudTraces& traces)
{
    const std::string folder = cloudFolder(provider, traces);
    if (folder.empty()) {
        return std::nullopt;
    }
    return ProposedLocation{joinFolder(folder, kFolderName), std::string(wizardLabel(provider))};
}

std::optional<ProposedLocation> recoveryLocation(CloudProvider provider, const CloudTraces& traces)
{
    auto location = wizardLocation(provider, traces);
    if (location && provider == CloudProvider::Bitcasa) {
        location->label = "Kestrava-Amazon";
    }
    return location;
}

ProposedLocation localFolderLocation(const CloudTraces& traces)
{
    const std::filesystem::path home = homeOf(traces);
    std::error_code ec;
    std::filesystem::create_directories(home, ec);
    return ProposedLocation{joinFolder(home.string(), kFolderName), kFolderName};
}

CloudFolderLookup cloudFolderLookup(const CloudTraces& traces)
{
    return [traces](int iconIndex) -> std::string {
        if (iconIndex < 1 || iconIndex > static_cast<int>(kCloudProviders.size())) {
            return {};
        }
        return cloudFolder(static_cast<CloudProvider>(iconIndex), traces);
    };
}

namespace {

constexpr int kTextCustom = 244; // "Custom"

std::string_view menuText(CloudProvider provider)
{
    switch (provider) {
    case CloudProvider::Dropbox:
        return "&Dropbox";
    case CloudProvider::SkyDrive:
        return "&Microsoft SkyDrive";
    case CloudProvider::GoogleDrive:
        return "&Google Drive";
    case CloudProvider::Box:
        return "&Box";
    case CloudProvider::Bitcasa:
        return "&Bitcasa";
    }
    return {};
}

bool usableFolderName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

} // namespace

std::vector<LocationMenuEntry> advancedLocationMenu(const CloudTraces& traces)
{
    std::vector<LocationMenuEntry> entries;
    for (const CloudProvider provider : kCloudProviders) {
        entries.push_back(
            {provider, std::string(menuText(provider)), !cloudFolder(provider, traces).empty()});
    }
    entries.push_back({std::nullopt, loadAppString(kTextCustom), true});
    return entries;
}

std::optional<std::string> advancedLocationFolder(std::optional<CloudProvider> provider,
                                                  std::string_view label, const CloudTraces& traces)
{
    if (!provider) {
        return localFolderLocation(traces).folder;
    }
    const std::string folder = cloudFolder(*provider, traces);
    if (folder.empty() || !usableFolderName(label)) {
        return std::nullopt;
    }
    return joinFolder(folder, label);
}

} // namespace kestrava::drives
