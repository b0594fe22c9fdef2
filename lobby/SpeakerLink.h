#pragma once
// The lobby views' one door to the protocol speaker: who is logged in, on
// which server, and the ways to reach the speaker (connect, send a client
// line, post a message to its loop, reset it).
//
// It starts bound to TolvarSpeak; tests bind fakes. A member left empty
// reads as an empty name and sends nothing. Bind and read on the GUI thread
// only.

#include "kit/BMessage.h"

#include <functional>
#include <string>

struct SpeakerLink
{
    std::function<std::string()> loggedInAs;
    std::function<std::string()> server;
    std::function<void(const std::string& host, const std::string& user,
                       const std::string& password, bool create)>
        connectWith;
    // Queues one complete client line for the connection; never blocks.
    std::function<void(const std::string& line)> send;
    // Queues a message for the speaker's own loop.
    std::function<void(const BMessage& message)> post;
    std::function<void()> reset;

    std::string LoggedInAs() const { return loggedInAs ? loggedInAs() : std::string(); }
    std::string Server() const { return server ? server() : std::string(); }
    void ConnectWith(const std::string& host, const std::string& user, const std::string& password,
                     bool create) const
    {
        if (connectWith)
            connectWith(host, user, password, create);
    }
    void Send(const std::string& line) const
    {
        if (send)
            send(line);
    }
    void Post(const BMessage& message) const
    {
        if (post)
            post(message);
    }
    void Reset() const
    {
        if (reset)
            reset();
    }
};

// The process's link.
SpeakerLink& Speaker();

// Binds every member of `link` to TolvarSpeak::Instance().
void BindToTolvarSpeak(SpeakerLink& link);
