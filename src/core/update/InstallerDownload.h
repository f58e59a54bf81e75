// Fetching an installer into a local folder with its signature file beside it, reporting the
// progress as it goes. A failed download leaves what arrived in place.
#pragma once

#include "core/update/HttpClient.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::update {

// "kestrava_<version>_setup.run"
std::string installerFileName(std::string_view version);

// $TMPDIR when it names a folder, else /tmp.
std::filesystem::path temporaryFolder();

struct DownloadProgress
{
    std::uint64_t written = 0;
    std::optional<std::uint64_t> total; // nothing without Content-Length
    // Whole percent of total, at most 100; nothing without a total.
    std::optional<int> percent() const;
};

using ProgressSink = std::function<void(const DownloadProgress& progress)>;

struct DownloadOutcome
{
    bool ok = false;
    std::filesystem::path file; // the local installer (also after a failure)
    HttpResult http;
    std::string error; // a local failure (creating or writing the file)
};

// Downloads base + installerFileName(version) into folder, then its ".sig" (when that cannot be
// fetched, none lies beside the installer). The progress is reported before each piece is
// written and once more at the end.
DownloadOutcome downloadInstaller(HttpClient& http, std::string_view baseUrl, std::string_view version,
                                  const std::filesystem::path& folder, const ProgressSink& progress);

std::string describeDownloadFailure(const DownloadOutcome& outcome);

} // namespace kestrava::update
