#include "core/update/UpdateCheck.h"

#include "core/update/Version.h"

namespace kestrava::update {

std::string updateFileUrl(std::string_view base, std::string_view fileName)
{
    std::string url(base);
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    url += fileName;
    return url;
}

CheckOutcome checkForUpdate(HttpClient& http, std::string_view baseUrl, std::string_view ownVersion)
{
    CheckOutcome outcome;
    if (baseUrl.empty()) {
        outcome.result = CheckResult::NoConnection;
        outcome.http = {HttpError::UnknownHost, 0, "this build has no update address"};
        return outcome;
    }
    outcome.http =
        http.fetchText(updateFileUrl(baseUrl, kVersionFileName), kVersionFileMaxBytes, outcome.remoteVersion);
    if (!outcome.http.ok()) {
        const bool offline =
            outcome.http.error == HttpError::NoClient || outcome.http.error == HttpError::UnknownHost;
        outcome.result = offline ? CheckResult::NoConnection : CheckResult::RequestFailed;
        return outcome;
    }
    if (outcome.remoteVersion.empty()) {
        outcome.result = CheckResult::EmptyVersionFile;
    } else if (ownVersion.empty()) {
        outcome.result = CheckResult::NoOwnVersion;
    } else if (compareVersions(outcome.remoteVersion, ownVersion) != 1) {
        // A line break or any other stray character makes the text unparsable: no update.
        outcome.result = CheckResult::NotNewer;
    } else {
        outcome.result = CheckResult::UpdateAvailable;
    }
    return outcome;
}

std::string describeCheckResult(const CheckOutcome& outcome)
{
    switch (outcome.result) {
    case CheckResult::UpdateAvailable:
        return "version " + outcome.remoteVersion + " is available";
    case CheckResult::NoConnection:
    case CheckResult::RequestFailed:
        return describeHttpError(outcome.http);
    case CheckResult::EmptyVersionFile:
        return "the update site's update.txt is empty";
    case CheckResult::DownloadFailed:
        return "the download failed";
    case CheckResult::NoOwnVersion:
        return "this build has no version to compare with";
    case CheckResult::NotNewer:
        return "no update";
    case CheckResult::Declined:
        return "declined";
    }
    return {};
}

} // namespace kestrava::update
