#pragma once
// The broadcast loop: re-posts every message it receives to every
// registered target (loops and windows), in registration order. A
// process-wide singleton.
//
// AddTarget, RemoveTarget and the broadcast exclude each other; posting to a
// target only queues, so no target's handler runs under the repeater's lock.
// A target must be removed before it is destroyed.

#include "kit/BLooper.h"

#include <mutex>
#include <vector>

class MessageRepeater : public BLooper
{
public:
    static MessageRepeater* Instance();

    ~MessageRepeater() override;

    // Appends `target`; duplicates are kept (a target added twice hears twice).
    void AddTarget(MessageTarget* target);
    // Removes the first entry equal to `target`; nothing when there is none.
    void RemoveTarget(MessageTarget* target);

    void MessageReceived(BMessage* message) override;

protected:
    // Every code is broadcast, B_QUIT_REQUESTED included; the repeater
    // itself runs until the process ends.
    void DispatchMessage(BMessage* message) override { MessageReceived(message); }

private:
    MessageRepeater();
    void _Broadcast(BMessage* message);

    mutable std::mutex fTargetsLock;
    std::vector<MessageTarget*> fTargets;
};
