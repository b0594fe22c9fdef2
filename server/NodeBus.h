#pragma once
// The message bus between the nodes of a cluster: a subject-addressed
// publish and subscribe. Messages from one node reach every subscriber in
// the order that node published them, whatever their subjects. Handlers run
// on the network thread, in that order; Publish may be called from it.

#include <asio.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tolvar::server {

class NodeBus
{
public:
    using Handler = std::function<void(const std::string& subject, std::string data)>;

    virtual ~NodeBus() = default;
    virtual void Publish(const std::string& subject, std::string_view data) = 0;
    // `handler` hears every message on `subject` (NATS wildcards allowed).
    virtual bool Subscribe(const std::string& subject, Handler handler) = 0;
};

// A NATS connection to `url` (nats://host:port) whose handlers run on
// `loop`; nothing with a reason in `error` when the server cannot be reached.
std::unique_ptr<NodeBus> ConnectNatsBus(asio::io_context& loop, const std::string& url,
                                        const std::string& nodeName, std::string* error);

} // namespace tolvar::server
