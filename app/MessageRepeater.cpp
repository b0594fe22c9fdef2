#include "app/MessageRepeater.h"

#include <algorithm>

MessageRepeater* MessageRepeater::Instance()
{
    // Created on first use and kept for the whole run: loops post to it
    // until the process ends.
    static MessageRepeater* sInstance = new MessageRepeater();
    return sInstance;
}

MessageRepeater::MessageRepeater() : BLooper("MessageRepeater") {}

MessageRepeater::~MessageRepeater()
{
    Quit();
}

void MessageRepeater::AddTarget(MessageTarget* target)
{
    std::lock_guard<std::mutex> lock(fTargetsLock);
    fTargets.push_back(target);
}

void MessageRepeater::RemoveTarget(MessageTarget* target)
{
    std::lock_guard<std::mutex> lock(fTargetsLock);
    auto it = std::find(fTargets.begin(), fTargets.end(), target);
    if (it != fTargets.end())
        fTargets.erase(it);
}

void MessageRepeater::MessageReceived(BMessage* message)
{
    _Broadcast(message);
}

void MessageRepeater::_Broadcast(BMessage* message)
{
    std::lock_guard<std::mutex> lock(fTargetsLock);
    for (MessageTarget* target : fTargets)
        target->PostMessage(*message);
}
