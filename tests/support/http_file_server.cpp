#include "tests/support/http_file_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace {

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string headerValue(const std::string& request, const std::string& name) {
    std::string lower = request;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const std::size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) return {};
    const std::size_t start = request.find_first_not_of(' ', at + name.size() + 3);
    return request.substr(start, request.find("\r\n", start) - start);
}

// The first byte of a range such as "1000-" or "1000-1999"; 0 when it does not start with a number.
std::size_t firstByte(const std::string& range) {
    std::size_t value = 0;
    std::from_chars(range.data(), range.data() + range.size(), value);
    return value;
}

}  // namespace

HttpFileServer::HttpFileServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("the test HTTP server cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpFileServer::~HttpFileServer() {
    Stop();
}

void HttpFileServer::Add(const std::string& path, std::string body, std::string contentType) {
    std::lock_guard lock(mutex_);
    files_[path] = {std::move(body), std::move(contentType)};
}

void HttpFileServer::SetRangesHonoured(bool honoured) {
    rangesHonoured_ = honoured;
}

void HttpFileServer::StallAfter(const std::string& path, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    files_[path].stallAfter = bytes;
}

void HttpFileServer::ClaimLength(const std::string& path, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    files_[path].claimed = bytes;
}

void HttpFileServer::AddRedirect(const std::string& path, const std::string& location,
                                 const std::string& setCookie) {
    std::lock_guard lock(mutex_);
    files_[path] = {
        {}, "text/html", "302 Found", "Location: " + location + "\r\nSet-Cookie: " + setCookie + "\r\n"};
}

void HttpFileServer::RequireCookie(const std::string& path, const std::string& cookie,
                                   const std::string& elsewhere) {
    std::lock_guard lock(mutex_);
    files_[path].cookie = cookie;
    files_[path].withoutCookie = elsewhere;
}

void HttpFileServer::Release(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_[path].stallAfter = std::string::npos;
}

std::string HttpFileServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpFileServer::Stop() {
    running_ = false;
    if (acceptThread_.joinable()) acceptThread_.join();  // the listening socket is then this thread's alone
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    {
        std::lock_guard lock(mutex_);
        for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : threads_) t.join();
    threads_.clear();
}

void HttpFileServer::acceptLoop() {
    while (running_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.push_back(fd);
        threads_.emplace_back([this, fd] { serve(fd); });
    }
}

void HttpFileServer::serve(int fd) {
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t pathStart = request.find(' ') + 1;
    std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    if (path.rfind("http://", 0) == 0) {  // a request to a proxy names the host too
        const std::size_t slash = path.find('/', 7);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }

    File file;
    bool found = false;
    const auto stalled = [this, &path] {
        std::lock_guard lock(mutex_);
        return files_[path].stallAfter != std::string::npos;
    };
    {
        std::lock_guard lock(mutex_);
        if (auto it = files_.find(path); it != files_.end()) {
            file = it->second;
            found = true;
        }
    }
    if (!file.cookie.empty() && headerValue(request, "cookie").find(file.cookie) == std::string::npos)
        file = {{}, "text/html", "302 Found", "Location: " + file.withoutCookie + "\r\n"};
    const std::size_t size = std::max(file.claimed, file.body.size());  // of the body, as the answer says it
    const std::string range = headerValue(request, "range");
    const bool partial = found && rangesHonoured_ && range.rfind("bytes=", 0) == 0;
    const std::size_t from = partial ? firstByte(range.substr(6)) : 0;
    if (!found || (partial && from >= file.body.size())) {
        const std::string reply = std::string("HTTP/1.1 ") +
                                  (found ? "416 Range Not Satisfiable" : "404 Not Found") +
                                  "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sendAll(fd, reply.data(), reply.size());
    } else {
        std::string head =
            "HTTP/1.1 " + (partial ? std::string("206 Partial Content") : file.status) + "\r\n";
        head += "Content-Type: " + file.type + "\r\n" + file.headers;
        head += "Content-Length: " + std::to_string(size - from) + "\r\n";
        if (partial)
            head += "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(size - 1) + "/" +
                    std::to_string(size) + "\r\n";
        if (rangesHonoured_) head += "Accept-Ranges: bytes\r\n";
        head += "Connection: close\r\n\r\n";
        if (sendAll(fd, head.data(), head.size())) {
            const std::size_t end = std::min(file.body.size(), file.stallAfter);
            if (from < end) sendAll(fd, file.body.data() + from, end - from);
            // A stalled answer holds the connection, sending nothing more, until Stop() breaks it off or
            // Release() lets it go on.
            bool hungUp = false;
            while (end < file.body.size() && running_ && stalled() && !hungUp) {
                pollfd p{fd, POLLIN, 0};
                hungUp = ::poll(&p, 1, 50) > 0 && (p.revents & (POLLHUP | POLLERR));
            }
            const std::size_t rest = std::max(from, end);
            if (rest < file.body.size() && running_ && !hungUp)
                sendAll(fd, file.body.data() + rest, file.body.size() - rest);
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(mutex_);
    connections_.erase(std::find(connections_.begin(), connections_.end(), fd));
    ::close(fd);
}
