#pragma once

// Why an HTTP address could not be reached, found out the way the network library itself goes about it: the
// host of the address (or of the proxy that the request goes through) is looked up, then a TCP connection
// is tried. Some versions of the network library keep the reason of a failed request to themselves, so the
// audio library asks again for its one line on stderr.

#include <chrono>
#include <optional>
#include <string>

namespace reach_check {

// Where a request goes: a host and a TCP port, and whether that is a proxy's.
struct Endpoint {
    std::string host;
    int port = 0;
    bool proxy = false;
    bool operator==(const Endpoint&) const = default;
};

// The endpoint of a request for `uri` (an http or https URI) sent through `proxy` ("http://host:port",
// "host:port", or "direct://" and empty for none): the proxy's when there is one, else the URI's own host
// and port (80 for http, 443 for https). Nothing when either names no host.
std::optional<Endpoint> EndpointOf(const std::string& uri, const std::string& proxy);

// The proxy that the system's proxy settings choose for `uri`; empty for a direct connection.
std::string SystemProxyFor(const std::string& uri);

// Looks `endpoint` up and connects to it, waiting at most `limit` for the connection, and says in a few
// words what went wrong: "host not found: HOST (why)", "connection refused by HOST:PORT", "no answer from
// HOST:PORT", "cannot connect to HOST:PORT: why", or "no HTTP answer from HOST:PORT" when the connection
// succeeds (the failure then lay beyond it, for example in TLS). Blocks: call it off the user interface's
// thread.
std::string WhyUnreachable(const Endpoint& endpoint, std::chrono::milliseconds limit);

}  // namespace reach_check
