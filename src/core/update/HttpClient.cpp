#include "core/update/HttpClient.h"

#include <curl/curl.h>
#include <memory>

namespace kestrava::update {
namespace {

constexpr long kMaxRedirects = 5;
constexpr const char* kUserAgent = "AutoUpdateAgent";

struct CurlDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// What the callbacks share with the transfer.
struct Transfer
{
    CURL* handle = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    const std::function<void(std::optional<std::uint64_t>)>* onStart = nullptr;
    const std::function<bool(std::string_view)>* onPiece = nullptr;
    bool started = false;
    bool refused = false; // the receiver said stop
    bool enough = false;  // a size limit was reached, which is not an error

    void start()
    {
        if (started) {
            return;
        }
        started = true;
        curl_off_t length = -1;
        if (curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
            length = -1;
        }
        if (onStart != nullptr && *onStart) {
            (*onStart)(length >= 0 ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(length))
                                   : std::nullopt);
        }
    }
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t total = size * count;
    transfer.start();
    for (std::size_t offset = 0; offset < total; offset += kReadPieceBytes) {
        const std::size_t length = std::min(kReadPieceBytes, total - offset);
        if (!(*transfer.onPiece)(std::string_view(data + offset, length))) {
            if (!transfer.enough) {
                transfer.refused = true;
            }
            return 0; // anything short of total ends the transfer
        }
    }
    return total;
}

int checkCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto& transfer = *static_cast<Transfer*>(user);
    return transfer.cancel != nullptr && transfer.cancel->load() ? 1 : 0;
}

HttpError classify(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return HttpError::None;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpError::UnknownHost;
    case CURLE_COULDNT_CONNECT:
        return HttpError::ConnectFailed;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return HttpError::Insecure;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
        return HttpError::Certificate;
    case CURLE_HTTP_RETURNED_ERROR:
        return HttpError::Status;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpError::TimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
        return HttpError::Cancelled;
    case CURLE_WRITE_ERROR:
        return HttpError::Stopped;
    default:
        return HttpError::Failed;
    }
}

void setOptions(CURL* handle, const std::string& url, const HttpOptions& options,
                std::chrono::milliseconds limit, Transfer& transfer, char* errorBuffer)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L); // runs on worker threads
    // The system's proxy settings apply, but never to this machine itself.
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // The base address may be http, but nothing may send us from https down to http.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (options.extraCertificates) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.extraCertificates->c_str());
    }
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    // Always the file as it is now, never a cached copy.
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, static_cast<long>(kReadPieceBytes));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stallTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
}

HttpResult perform(const std::string& url, const HttpOptions& options, std::chrono::milliseconds limit,
                   Transfer& transfer)
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised) {
        return {HttpError::NoClient, 0, "the HTTP library could not be initialised"};
    }
    const std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (!handle) {
        return {HttpError::NoClient, 0, "the HTTP library could not be initialised"};
    }
    transfer.handle = handle.get();
    transfer.cancel = options.cancel;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    setOptions(handle.get(), url, options, limit, transfer, errorBuffer);
    const CURLcode code = curl_easy_perform(handle.get());

    HttpResult result;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &result.status);
    if (code == CURLE_WRITE_ERROR && transfer.enough) {
        return result;
    }
    result.error = classify(code);
    if (result.error == HttpError::Stopped && !transfer.refused) {
        result.error = HttpError::Failed;
    }
    if (result.error == HttpError::None) {
        transfer.start(); // an empty body still has a length
        return result;
    }
    result.message = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    return result;
}

} // namespace

HttpClient::HttpClient(HttpOptions options) : m_options(std::move(options)) {}

HttpResult HttpClient::fetchText(const std::string& url, std::size_t maxBytes, std::string& body)
{
    body.clear();
    Transfer transfer;
    const std::function<bool(std::string_view)> collect = [&](std::string_view piece) {
        body.append(piece.substr(0, maxBytes - body.size()));
        if (body.size() == maxBytes) {
            transfer.enough = true;
            return false;
        }
        return true;
    };
    transfer.onPiece = &collect;
    if (maxBytes == 0) {
        return {};
    }
    return perform(url, m_options, m_options.textTimeout, transfer);
}

HttpResult HttpClient::download(const std::string& url,
                                const std::function<void(std::optional<std::uint64_t> length)>& onStart,
                                const std::function<bool(std::string_view piece)>& onPiece)
{
    Transfer transfer;
    transfer.onStart = &onStart;
    transfer.onPiece = &onPiece;
    return perform(url, m_options, m_options.totalTimeout, transfer);
}

std::string describeHttpError(const HttpResult& result)
{
    switch (result.error) {
    case HttpError::None:
        return "no error";
    case HttpError::NoClient:
        return "the HTTP library is not available";
    case HttpError::UnknownHost:
        return "the update site could not be found (no network?): " + result.message;
    case HttpError::ConnectFailed:
        return "the update site could not be reached: " + result.message;
    case HttpError::Insecure:
        return "refused a redirect to an address other than https: " + result.message;
    case HttpError::Certificate:
        return "the update site's certificate was not accepted: " + result.message;
    case HttpError::Status:
        return "the update site answered with HTTP status " + std::to_string(result.status);
    case HttpError::TimedOut:
        return "the update site did not answer in time: " + result.message;
    case HttpError::Cancelled:
        return "cancelled";
    case HttpError::Stopped:
        return "the received data could not be stored";
    case HttpError::Failed:
        return "the transfer failed: " + result.message;
    }
    return result.message;
}

} // namespace kestrava::update
