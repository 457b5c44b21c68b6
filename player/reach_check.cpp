#include "player/reach_check.h"

#include <gio/gio.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace reach_check {
namespace {

// Host and port of `uri`, with the scheme's port when it names none.
std::optional<Endpoint> hostAndPort(const std::string& uri) {
    GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!parsed) return std::nullopt;
    std::optional<Endpoint> endpoint;
    const char* host = g_uri_get_host(parsed);
    const char* scheme = g_uri_get_scheme(parsed);
    if (host && *host) {
        int port = g_uri_get_port(parsed);
        if (port <= 0) port = g_ascii_strcasecmp(scheme, "https") == 0 ? 443 : 80;
        endpoint = Endpoint{host, port};
    }
    g_uri_unref(parsed);
    return endpoint;
}

// "host:port", with an IPv6 address in brackets.
std::string nameOf(const Endpoint& endpoint) {
    const bool ipv6 = endpoint.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" + std::to_string(endpoint.port);
}

// 0 when a connection to `address` is made within `limit`, else the error number that stopped it
// (ETIMEDOUT when the limit passed first).
int tryConnect(const addrinfo& address, std::chrono::milliseconds limit) {
    const int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) return errno;
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd waiting{fd, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&waiting, 1, static_cast<int>(limit.count()));
            } while (ready < 0 && errno == EINTR);
            socklen_t length = sizeof error;
            if (ready <= 0)
                error = ETIMEDOUT;
            else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    ::close(fd);
    return error;
}

}  // namespace

std::optional<Endpoint> EndpointOf(const std::string& uri, const std::string& proxy) {
    if (proxy.empty() || proxy.rfind("direct://", 0) == 0) return hostAndPort(uri);
    // A proxy may be given without its scheme, as in http_proxy=host:port.
    std::optional<Endpoint> endpoint =
        hostAndPort(proxy.find("://") == std::string::npos ? "http://" + proxy : proxy);
    if (endpoint) endpoint->proxy = true;
    return endpoint;
}

std::string SystemProxyFor(const std::string& uri) {
    gchar** proxies = g_proxy_resolver_lookup(g_proxy_resolver_get_default(), uri.c_str(), nullptr, nullptr);
    const std::string first = proxies && proxies[0] ? proxies[0] : "";
    g_strfreev(proxies);
    return first.rfind("direct://", 0) == 0 ? "" : first;
}

std::string WhyUnreachable(const Endpoint& endpoint, std::chrono::milliseconds limit) {
    const std::string whose = endpoint.proxy ? "the proxy " : "";
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup =
        ::getaddrinfo(endpoint.host.c_str(), std::to_string(endpoint.port).c_str(), &hints, &found);
    if (lookup != 0)
        return (endpoint.proxy ? "proxy host not found: " : "host not found: ") + endpoint.host + " (" +
               ::gai_strerror(lookup) + ")";
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);

    // Every address the name has, as the network library would try them, each within what is left.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int first = 0;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int error = left.count() > 0 ? tryConnect(*address, left) : ETIMEDOUT;
        if (error == 0) return "no HTTP answer from " + whose + nameOf(endpoint);
        if (first == 0 || first == ETIMEDOUT) first = error;
    }
    switch (first) {
        case ECONNREFUSED:
            return "connection refused by " + whose + nameOf(endpoint);
        case ETIMEDOUT:
            return "no answer from " + whose + nameOf(endpoint);
        default:
            return "cannot connect to " + whose + nameOf(endpoint) + ": " + std::strerror(first);
    }
}

}  // namespace reach_check
