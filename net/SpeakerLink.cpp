#include "net/SpeakerLink.h"

#include <atomic>

namespace {

class NoSpeaker : public SpeakerLink
{
public:
    std::string LoggedInAs() const override { return {}; }
    std::string Server() const override { return {}; }
    int32 ResetCount() const override { return 0; }
    void ConnectWith(const std::string&, const std::string&, const std::string&, bool) override {}
    void PostLine(const std::string&) override {}
    status_t PostMessage(const BMessage&) override { return B_ERROR; }
    void Reset() override {}
};

NoSpeaker sNoSpeaker;
std::atomic<SpeakerLink*> sLink{&sNoSpeaker};

} // namespace

SpeakerLink& Speaker()
{
    return *sLink.load();
}

void SetSpeakerLink(SpeakerLink* link)
{
    sLink = link != nullptr ? link : &sNoSpeaker;
}
