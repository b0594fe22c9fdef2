// The bus on NATS. libnats reads on its own thread and calls back on its
// delivery threads; every message is handed to the network thread in the
// order it arrived. One delivery thread serves all subscriptions, so the
// order a publisher gave its messages holds across subjects too.

#include "server/NodeBus.h"

#include "server/EventLog.h"

#include <nats/nats.h>

#include <list>
#include <mutex>

namespace tolvar::server {

namespace {

class NatsBus : public NodeBus
{
public:
    explicit NatsBus(asio::io_context& loop) : fLoop(loop) {}

    ~NatsBus() override
    {
        {
            std::lock_guard lock(*fGuard);
            *fAlive = false;
        }
        for (natsSubscription* subscription : fSubscriptions) {
            natsSubscription_Unsubscribe(subscription);
            natsSubscription_Destroy(subscription);
        }
        if (fConnection) {
            natsConnection_Close(fConnection);
            natsConnection_Destroy(fConnection);
        }
    }

    bool Connect(const std::string& url, const std::string& nodeName, std::string* error)
    {
        natsOptions* options = nullptr;
        natsStatus status = natsOptions_Create(&options);
        if (status == NATS_OK)
            status = natsOptions_SetURL(options, url.c_str());
        if (status == NATS_OK)
            status = natsOptions_SetName(options, ("tolvar-" + nodeName).c_str());
        if (status == NATS_OK)
            status = natsOptions_UseGlobalMessageDelivery(options, true);
        // The bus going away for a moment must not end the node.
        if (status == NATS_OK)
            status = natsOptions_SetMaxReconnect(options, -1);
        if (status == NATS_OK)
            status = natsOptions_SetReconnectWait(options, 250);
        if (status == NATS_OK)
            status = natsConnection_Connect(&fConnection, options);
        natsOptions_Destroy(options);
        if (status != NATS_OK) {
            *error = "cannot connect to the bus at " + url + ": " + natsStatus_GetText(status);
            fConnection = nullptr;
            return false;
        }
        return true;
    }

    void Publish(const std::string& subject, std::string_view data) override
    {
        natsStatus status = natsConnection_Publish(fConnection, subject.c_str(), data.data(),
                                                   static_cast<int>(data.size()));
        if (status != NATS_OK)
            LogEvent("bus: cannot publish on " + subject + ": " + natsStatus_GetText(status));
    }

    bool Subscribe(const std::string& subject, Handler handler) override
    {
        auto& entry = fHandlers.emplace_back(Entry{this, std::move(handler)});
        natsSubscription* subscription = nullptr;
        natsStatus status = natsConnection_Subscribe(&subscription, fConnection, subject.c_str(),
                                                     &_Arrived, &entry);
        if (status != NATS_OK) {
            LogEvent("bus: cannot subscribe to " + subject + ": " + natsStatus_GetText(status));
            return false;
        }
        // A node's own traffic can be heavy: no message may be dropped.
        natsSubscription_SetPendingLimits(subscription, -1, -1);
        fSubscriptions.push_back(subscription);
        return true;
    }

private:
    struct Entry
    {
        NatsBus* bus;
        Handler handler;
    };

    static void _Arrived(natsConnection*, natsSubscription*, natsMsg* message, void* closure)
    {
        auto* entry = static_cast<Entry*>(closure);
        std::string subject = natsMsg_GetSubject(message);
        std::string data(natsMsg_GetData(message), natsMsg_GetDataLength(message));
        natsMsg_Destroy(message);
        NatsBus* bus = entry->bus;
        std::lock_guard lock(*bus->fGuard);
        if (!*bus->fAlive)
            return;
        std::weak_ptr<bool> alive = bus->fAlive;
        asio::post(bus->fLoop,
                   [alive, entry, subject = std::move(subject), data = std::move(data)]() mutable {
                       auto still = alive.lock();
                       if (still && *still)
                           entry->handler(subject, std::move(data));
                   });
    }

    asio::io_context& fLoop;
    natsConnection* fConnection = nullptr;
    std::list<Entry> fHandlers; // stable addresses for the callbacks
    std::vector<natsSubscription*> fSubscriptions;
    std::shared_ptr<std::mutex> fGuard = std::make_shared<std::mutex>();
    std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
};

} // namespace

std::unique_ptr<NodeBus> ConnectNatsBus(asio::io_context& loop, const std::string& url,
                                        const std::string& nodeName, std::string* error)
{
    static std::once_flag once;
    std::call_once(once, [] { nats_SetMessageDeliveryPoolSize(1); });
    auto bus = std::make_unique<NatsBus>(loop);
    if (!bus->Connect(url, nodeName, error))
        return nullptr;
    return bus;
}

} // namespace tolvar::server
