#pragma once
// The one way from the windows to the protocol speaker: who is logged in
// on which server, logging in, sending client lines, the chat messages the
// speaker formats, and the reset at logout.
//
// The program installs TolvarSpeak at start-up; tests install a recording
// fake. Until one is installed the link reads as logged out and sends
// nothing. Every operation may be called from any thread and never blocks.

#include "kit/BMessage.h"

#include <string>

class SpeakerLink
{
public:
    virtual ~SpeakerLink() = default;

    // The user name logged in with and the server; empty when logged out.
    virtual std::string LoggedInAs() const = 0;
    virtual std::string Server() const = 0;
    // How often the speaker has reset: MSG_CONNECTION_RESET carries the new
    // count, so that a window can tell whether a reset came after it was made.
    virtual int32 ResetCount() const = 0;

    // Stores the login data and connects when all of it is there.
    virtual void ConnectWith(const std::string& server, const std::string& user,
                             const std::string& password, bool create) = 0;
    // Queues one complete client line (formatted by ClientLines).
    virtual void PostLine(const std::string& line) = 0;
    // Queues a message for the speaker's own loop (MSG_CHAT_SEND).
    virtual status_t PostMessage(const BMessage& message) = 0;
    // Returns to the logged-out state and drops the connection.
    virtual void Reset() = 0;
};

// The installed link. Set it before other threads start.
SpeakerLink& Speaker();
// Installs `link` (not owned); null goes back to the link that does nothing.
void SetSpeakerLink(SpeakerLink* link);
