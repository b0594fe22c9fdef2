#pragma once
// A speaker stand-in for the reply handlers: records what they broadcast
// and how often they reset, and feeds them lines through the real cutting
// and splitting.

#include "kit/BMessage.h"
#include "net/CommandHandler.h"
#include "net/ReplyContext.h"
#include "net/ReplyHandlers.h"

#include <mutex>
#include <string>
#include <vector>

class FakeContext : public ReplyContext
{
public:
    void Broadcast(const BMessage& message) override
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fPosted.push_back(message);
    }
    std::string LoggedInAs() const override { return user; }
    std::string ServerVersion() const override { return version; }
    void SetServerVersion(const std::string& newVersion, const std::string& newDescription) override
    {
        version = newVersion;
        description = newDescription;
    }
    void Reset() override
    {
        ++resets;
        version = "unknown";
        description.clear();
        user.clear();
    }

    std::vector<BMessage> Posted()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fPosted;
    }

    std::string user = "alice";
    std::string version = "unknown";
    std::string description;
    int resets = 0;

    ReplyHandlers handlers{*this};
    CommandHandler commands{handlers};

    // Cuts, splits and dispatches `text` as one chunk.
    void Receive(const std::string& text) { commands.HandleChunk(text); }

private:
    std::mutex fMutex;
    std::vector<BMessage> fPosted;
};
