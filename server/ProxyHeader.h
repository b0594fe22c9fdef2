#pragma once
// The PROXY protocol (version 1, text) that a TCP load balancer such as
// HAProxy puts in front of each connection it passes on, naming the client:
//
//   PROXY TCP4 203.0.113.7 192.0.2.1 51234 5000\r\n
//
// Behind a balancer every connection comes from the balancer's address; the
// limits and delays that go by the client's address need the real one.

#include <asio.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tolvar::server {

struct ProxiedPeer
{
    std::string address; // the client's, written as the server writes addresses
    std::uint16_t port = 0;
    std::string destination; // where the client connected to, and its port
    std::uint16_t destinationPort = 0;
};

// The longest header the protocol allows, CRLF included.
inline constexpr std::size_t kMaxProxyHeader = 107;

// What a whole header line (without its CRLF) says: the client's address
// and port, and where it connected to; nothing for "PROXY UNKNOWN" (a
// connection of the balancer's own); false for anything that is not a
// header.
bool ParseProxyHeader(std::string_view line, std::optional<ProxiedPeer>* peer);

// Reads exactly the header from `socket`, leaving what follows it unread,
// and calls `done` with the socket and true and what the header says, or
// with false when the peer sends no valid header within `limit` or hangs up.
using ProxyDone = std::function<void(asio::ip::tcp::socket, bool, std::optional<ProxiedPeer>)>;
void ReadProxyHeader(asio::ip::tcp::socket socket, std::chrono::milliseconds limit, ProxyDone done);

} // namespace tolvar::server
