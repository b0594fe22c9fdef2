#include "lobby/SpeakerLink.h"

#include "net/TolvarSpeak.h"

SpeakerLink& Speaker()
{
    static SpeakerLink sLink = [] {
        SpeakerLink bound;
        BindToTolvarSpeak(bound);
        return bound;
    }();
    return sLink;
}

void BindToTolvarSpeak(SpeakerLink& link)
{
    link.loggedInAs = [] { return TolvarSpeak::Instance()->LoggedInAs(); };
    link.server = [] { return TolvarSpeak::Instance()->Server(); };
    link.connectWith = [](const std::string& host, const std::string& user,
                          const std::string& password, bool create) {
        TolvarSpeak::Instance()->ConnectWith(host, user, password, create);
    };
    link.send = [](const std::string& line) { TolvarSpeak::Instance()->PostLine(line); };
    link.post = [](const BMessage& message) { TolvarSpeak::Instance()->PostMessage(message); };
    link.reset = [] { TolvarSpeak::Instance()->Reset(); };
}
