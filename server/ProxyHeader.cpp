#include "server/ProxyHeader.h"

#include "server/TextRules.h"

#include <sys/socket.h>

#include <array>
#include <memory>
#include <vector>

namespace tolvar::server {

namespace {

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    while (!line.empty()) {
        std::size_t end = line.find(' ');
        words.push_back(line.substr(0, end));
        if (end == std::string_view::npos)
            break;
        line.remove_prefix(end + 1);
    }
    return words;
}

struct HeaderRead
{
    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    ProxyDone done;
    bool over = false;

    void Finish(bool ok, std::optional<ProxiedPeer> peer = std::nullopt)
    {
        if (over)
            return;
        over = true;
        timer.cancel();
        done(std::move(socket), ok, std::move(peer));
    }

    static void Wait(const std::shared_ptr<HeaderRead>& read)
    {
        read->socket.async_wait(
            asio::socket_base::wait_read, [read](const asio::error_code& error) {
                if (read->over)
                    return;
                if (error) {
                    read->Finish(false);
                    return;
                }
                // Look without taking: only the header's own bytes are read, and
                // the client's first line stays for the connection.
                std::array<char, kMaxProxyHeader> buffer;
                ssize_t seen =
                    ::recv(read->socket.native_handle(), buffer.data(), buffer.size(), MSG_PEEK);
                if (seen <= 0) {
                    read->Finish(false);
                    return;
                }
                std::string_view text(buffer.data(), static_cast<std::size_t>(seen));
                std::size_t end = text.find("\r\n");
                if (end == std::string_view::npos) {
                    if (text.size() >= kMaxProxyHeader ||
                        std::string_view("PROXY ").substr(0, text.size()) != text.substr(0, 6))
                        read->Finish(false);
                    else
                        Wait(read); // the rest is on its way
                    return;
                }
                std::optional<ProxiedPeer> peer;
                bool ok = ParseProxyHeader(text.substr(0, end), &peer);
                std::array<char, kMaxProxyHeader> header;
                ok = ok && ::recv(read->socket.native_handle(), header.data(), end + 2, 0) ==
                               static_cast<ssize_t>(end + 2);
                read->Finish(ok, std::move(peer));
            });
    }
};

} // namespace

bool ParseProxyHeader(std::string_view line, std::optional<ProxiedPeer>* peer)
{
    peer->reset();
    std::vector<std::string_view> words = Words(line);
    if (words.size() >= 2 && words[0] == "PROXY" && words[1] == "UNKNOWN")
        return true;
    if (words.size() != 6 || words[0] != "PROXY" || (words[1] != "TCP4" && words[1] != "TCP6"))
        return false;
    asio::error_code error, destinationError;
    asio::ip::address address = asio::ip::make_address(std::string(words[2]), error);
    asio::ip::address destination = asio::ip::make_address(std::string(words[3]), destinationError);
    std::optional<std::int64_t> port = ParseDecimal(words[4], 5);
    std::optional<std::int64_t> destinationPort = ParseDecimal(words[5], 5);
    bool v4 = words[1] == "TCP4";
    if (error || destinationError || address.is_v4() != v4 || destination.is_v4() != v4 || !port ||
        *port > 65535 || !destinationPort || *destinationPort > 65535)
        return false;
    *peer = ProxiedPeer{address.to_string(), static_cast<std::uint16_t>(*port),
                        destination.to_string(), static_cast<std::uint16_t>(*destinationPort)};
    return true;
}

void ReadProxyHeader(asio::ip::tcp::socket socket, std::chrono::milliseconds limit, ProxyDone done)
{
    auto executor = socket.get_executor();
    auto read = std::make_shared<HeaderRead>(
        HeaderRead{std::move(socket), asio::steady_timer(executor, limit), std::move(done)});
    read->timer.async_wait([read](const asio::error_code& error) {
        if (!error)
            read->Finish(false);
    });
    HeaderRead::Wait(read);
}

} // namespace tolvar::server
