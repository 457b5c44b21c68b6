#pragma once

// A small HTTP/1.1 file server on 127.0.0.1 for tests and benchmarks. It serves in-memory files with
// Content-Length, answers byte ranges with 206 (unless told not to, when it sends the whole file with 200 and
// no Accept-Ranges), 404 for unknown paths, and can be told to stall in the middle of a file or to claim a
// longer body than it sends. It runs on its own threads, so it answers while the caller's thread waits, and
// stops when destroyed. It also serves as an HTTP proxy that answers every request itself, by path, whatever
// the host ("GET http://host/path").

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HttpFileServer final {
public:
    HttpFileServer();  // listens on a free port of 127.0.0.1
    ~HttpFileServer();
    HttpFileServer(const HttpFileServer&) = delete;
    HttpFileServer& operator=(const HttpFileServer&) = delete;

    // Adding a path again replaces its answer and what the calls below set for it.
    void Add(const std::string& path, std::string body, std::string contentType);
    // Serve whole files only, as a server that ignores Range headers does.
    void SetRangesHonoured(bool honoured);
    // After `bytes` of the body of `path`, send nothing more and hold the connection until Stop(), as a
    // server that dies in the middle of a file does once it is stopped.
    void StallAfter(const std::string& path, std::size_t bytes);
    // Say that the body of `path` is `bytes` long, more than it is: the connection closes after the real
    // body, and a range from its end on is refused (416), as with a server that fails mid-file or sends less
    // than it said.
    void ClaimLength(const std::string& path, std::size_t bytes);

    // Answers `path` with a 302 to `location` that sets the cookie `setCookie` ("name=value").
    void AddRedirect(const std::string& path, const std::string& location, const std::string& setCookie);
    // Answers `path` only to a request that carries the cookie `cookie`; any other with a 302 to `elsewhere`.
    void RequireCookie(const std::string& path, const std::string& cookie, const std::string& elsewhere);
    // A stalled answer of `path` goes on to its end.
    void Release(const std::string& path);

    std::uint16_t Port() const { return port_; }
    std::string Url(const std::string& path) const;
    // Stops listening and closes every connection; also done by the destructor.
    void Stop();

private:
    struct File {
        std::string body;
        std::string type;
        std::string status = "200 OK";
        std::string headers{};  // further header lines, each ending in CR LF
        std::size_t stallAfter = std::string::npos;
        std::size_t claimed = 0;                // the length the answer says, when longer than the body
        std::string cookie{}, withoutCookie{};  // a cookie needed, and where a request without it is sent
    };

    void acceptLoop();
    void serve(int fd);

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> running_{true};
    std::atomic<bool> rangesHonoured_{true};
    std::mutex mutex_;
    std::map<std::string, File> files_;
    std::vector<int> connections_;
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};
