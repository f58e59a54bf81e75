// A small HTTP/1.1 server on 127.0.0.1 and a port the system picks, for tests that must not
// reach the network. Each path answers as told: a body with or without Content-Length, a body
// cut short, a redirect, or no answer at all. Every connection is closed after one answer.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrava::test {

class LoopbackHttpServer
{
public:
    struct Response
    {
        int status = 200;
        std::string body;
        bool sendLength = true;
        // Send only this many bytes of the body (the announced length stays the full one).
        std::optional<std::size_t> cutAfter;
        // After the bytes sent, keep the connection open without sending anything more.
        bool holdOpen = false;
        bool sendHead = true; // false: not even the status line
        std::string location; // sent as Location (for 3xx)

        static Response text(std::string body, int status = 200);
        static Response withoutLength(std::string body);
        // Announces the whole body, sends its first bytes, then closes (or, held, stays silent).
        static Response cut(std::string body, std::size_t bytes, bool hold = false);
        static Response redirect(std::string location);
        // Accepts the request and never answers.
        static Response silent();
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Unknown paths answer 404.
    void set(const std::string& path, Response response);
    // "http://127.0.0.1:<port>/"
    std::string baseUrl() const;
    int port() const { return m_port; }
    // The paths asked for, in order.
    std::vector<std::string> requests() const;

private:
    void serve();
    void answer(int fd);

    int m_listenFd = -1;
    int m_stopPipe[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, Response> m_responses;
    std::vector<std::string> m_requests;
    std::vector<int> m_held; // connections kept open until the server stops
};

} // namespace kestrava::test
