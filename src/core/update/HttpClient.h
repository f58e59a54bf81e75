// Fetching the update files over HTTP(S). Certificates and host names are always checked,
// redirects may only lead to https, and every transfer ends: on a connect time-out, after a
// stretch without data, at its overall limit, or when the cancel flag is raised.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::update {

inline constexpr std::size_t kReadPieceBytes = 4096;

struct HttpOptions
{
    std::chrono::milliseconds connectTimeout{20000};
    // Ends a transfer after this long without a single byte.
    std::chrono::seconds stallTimeout{30};
    // A whole small fetch (the version file, a signature file).
    std::chrono::milliseconds textTimeout{60000};
    // A whole download; zero means no limit (a large installer on a slow line).
    std::chrono::milliseconds totalTimeout{0};
    // Certificates to trust besides the system's (tests use their own authority).
    std::optional<std::filesystem::path> extraCertificates;
    const std::atomic<bool>* cancel = nullptr;
};

enum class HttpError
{
    None,
    NoClient,      // the HTTP library could not be set up
    UnknownHost,   // the name does not resolve: most likely no network
    ConnectFailed, // refused or unreachable
    Insecure,      // a redirect to something other than https
    Certificate,   // the certificate or the host name does not check out
    Status,        // the server answered with an error status
    TimedOut,
    Cancelled,
    Stopped, // the receiver refused more data
    Failed,  // anything else
};

struct HttpResult
{
    HttpError error = HttpError::None;
    long status = 0;
    std::string message; // for the log and the terminal

    bool ok() const { return error == HttpError::None; }
};

class HttpClient
{
public:
    explicit HttpClient(HttpOptions options = {});

    // The first maxBytes of the body (the rest is not read).
    HttpResult fetchText(const std::string& url, std::size_t maxBytes, std::string& body);

    // Streams the body in pieces of at most kReadPieceBytes. onStart gets the announced length
    // (nothing without Content-Length) before the first piece; onPiece returning false stops.
    HttpResult download(const std::string& url,
                        const std::function<void(std::optional<std::uint64_t> length)>& onStart,
                        const std::function<bool(std::string_view piece)>& onPiece);

private:
    HttpOptions m_options;
};

std::string describeHttpError(const HttpResult& result);

} // namespace kestrava::update
