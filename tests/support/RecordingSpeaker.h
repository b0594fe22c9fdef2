#pragma once
// A SpeakerLink that records what the windows ask of the protocol speaker:
// logins, the client lines they send, the messages they post and resets.
// It is the process's SpeakerLink for as long as it lives. GUI thread only.

#include "net/SpeakerLink.h"

#include <functional>
#include <string>
#include <vector>

class RecordingSpeaker : public SpeakerLink
{
public:
    struct Login
    {
        std::string server, user, password;
        bool create;
    };

    RecordingSpeaker() { SetSpeakerLink(this); }
    ~RecordingSpeaker() override { SetSpeakerLink(nullptr); }

    std::string LoggedInAs() const override { return user; }
    std::string Server() const override { return server; }
    int32 ResetCount() const override { return resets; }
    void ConnectWith(const std::string& host, const std::string& name, const std::string& password,
                     bool create) override
    {
        logins.push_back({host, name, password, create});
        if (onLogin)
            onLogin();
    }
    void PostLine(const std::string& line) override { lines.push_back(line); }
    status_t PostMessage(const BMessage& message) override
    {
        posts.push_back(message);
        return B_OK;
    }
    void Reset() override { ++resets; }

    std::string user;
    std::string server;
    std::vector<Login> logins;
    std::vector<std::string> lines;
    std::vector<BMessage> posts;
    int32 resets = 0;
    // Runs after each login is recorded.
    std::function<void()> onLogin;
};
