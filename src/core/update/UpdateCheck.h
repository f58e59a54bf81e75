// Asking the update site whether a newer version exists: "update.txt" under the base address
// holds the newest version's text and nothing else.
#pragma once

#include "core/update/HttpClient.h"

#include <string>
#include <string_view>

namespace kestrava::update {

inline constexpr std::string_view kVersionFileName = "update.txt";
inline constexpr std::size_t kVersionFileMaxBytes = 4096;

// The outcome of a check, and of the download that may follow, by number.
enum class CheckResult : int
{
    UpdateAvailable = 0,
    NoConnection = 1,     // no HTTP client, no update address, or the host does not resolve
    RequestFailed = 2,    // "update.txt" could not be fetched
    EmptyVersionFile = 3, // it was empty
    DownloadFailed = 4,
    NoOwnVersion = 5, // this build has no version text to compare with
    NotNewer = 6,     // the remote text is not a newer version (unparsable included)
    Declined = 7,     // the user did not want the download
};

struct CheckOutcome
{
    CheckResult result = CheckResult::NoConnection;
    std::string remoteVersion; // as fetched, whatever the result
    HttpResult http;           // why a request failed
};

// base joined with a file name: exactly one "/" between them.
std::string updateFileUrl(std::string_view base, std::string_view fileName);

CheckOutcome checkForUpdate(HttpClient& http, std::string_view baseUrl, std::string_view ownVersion);

std::string describeCheckResult(const CheckOutcome& outcome);

} // namespace kestrava::update
