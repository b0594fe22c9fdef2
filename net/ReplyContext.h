#pragma once
// What the reply handlers need of the protocol speaker: the broadcast of
// messages, the login data, the server version, and the reset. The speaker
// implements it; tests and the fuzzer supply their own.
//
// Every operation may be called from the speaker's loop thread.

#include "kit/BMessage.h"

#include <string>

class ReplyContext
{
public:
    virtual ~ReplyContext() = default;

    // Posts `message` to the broadcast loop; never waits for it to be handled.
    virtual void Broadcast(const BMessage& message) = 0;
    // The user name logged in with; empty when logged out.
    virtual std::string LoggedInAs() const = 0;
    // The stored server version; "unknown" after a reset.
    virtual std::string ServerVersion() const = 0;
    virtual void SetServerVersion(const std::string& version, const std::string& description) = 0;
    // Returns to the logged-out state and drops the connection; does not block.
    virtual void Reset() = 0;
};
