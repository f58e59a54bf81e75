#include "support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrava::test {
namespace {

constexpr int kRequestReadTimeoutMs = 10000;

void sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return; // the client went away
        }
        sent += static_cast<std::size_t>(n);
    }
}

// The request line's path; empty when no complete request head arrived.
std::string readRequestPath(int fd)
{
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kRequestReadTimeoutMs) <= 0) {
            return {};
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return {};
        }
        head.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t start = head.find(' ');
    const std::size_t end = start == std::string::npos ? start : head.find(' ', start + 1);
    return end == std::string::npos ? std::string() : head.substr(start + 1, end - start - 1);
}

std::string reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

LoopbackHttpServer::Response LoopbackHttpServer::Response::text(std::string body, int status)
{
    Response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

LoopbackHttpServer::Response LoopbackHttpServer::Response::withoutLength(std::string body)
{
    Response response = text(std::move(body));
    response.sendLength = false;
    return response;
}

LoopbackHttpServer::Response LoopbackHttpServer::Response::cut(std::string body, std::size_t bytes, bool hold)
{
    Response response = text(std::move(body));
    response.cutAfter = bytes;
    response.holdOpen = hold;
    return response;
}

LoopbackHttpServer::Response LoopbackHttpServer::Response::redirect(std::string location)
{
    Response response = text({}, 302);
    response.location = std::move(location);
    return response;
}

LoopbackHttpServer::Response LoopbackHttpServer::Response::silent()
{
    Response response = cut({}, 0, true);
    response.sendHead = false;
    return response;
}

LoopbackHttpServer::LoopbackHttpServer()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 16) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("the loopback HTTP server could not start");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    (void)!::write(m_stopPipe[1], "x", 1);
    m_thread.join();
    for (const int fd : m_held) {
        ::close(fd);
    }
    ::close(m_listenFd);
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

void LoopbackHttpServer::set(const std::string& path, Response response)
{
    std::lock_guard lock(m_mutex);
    m_responses[path] = std::move(response);
}

std::string LoopbackHttpServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::vector<std::string> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackHttpServer::serve()
{
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            answer(fd);
        }
    }
}

void LoopbackHttpServer::answer(int fd)
{
    const std::string path = readRequestPath(fd);
    Response response;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(path);
        const auto it = m_responses.find(path);
        if (it != m_responses.end()) {
            response = it->second;
        } else {
            response.status = 404;
            response.body = "not found";
        }
    }
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    if (response.sendLength) {
        head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    if (!response.location.empty()) {
        head += "Location: " + response.location + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    if (response.sendHead) {
        sendAll(fd, head);
    }
    sendAll(fd, response.body.substr(0, response.cutAfter.value_or(response.body.size())));
    if (response.holdOpen) {
        std::lock_guard lock(m_mutex);
        m_held.push_back(fd);
        return;
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

} // namespace kestrava::test
