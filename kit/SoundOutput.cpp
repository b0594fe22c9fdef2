#include "kit/SoundOutput.h"

#include <mutex>

namespace {

class SilentOutput : public SoundOutput
{
public:
    int Load(const std::string&) override { return -1; }
    void Play(int) override {}
    void RegisterEvent(const std::string&, const std::string&) override {}
    void PlayEvent(const std::string&) override {}
};

std::mutex sMutex;
std::shared_ptr<SoundOutput> sOutput = std::make_shared<SilentOutput>();

} // namespace

namespace kit {

SoundOutput& Sound()
{
    std::lock_guard<std::mutex> lock(sMutex);
    return *sOutput;
}

void SetSoundOutput(std::shared_ptr<SoundOutput> output)
{
    std::lock_guard<std::mutex> lock(sMutex);
    // The previous output is kept alive: callers may still hold a reference.
    static std::shared_ptr<SoundOutput> sRetired;
    sRetired = sOutput;
    sOutput = output ? std::move(output) : std::make_shared<SilentOutput>();
}

} // namespace kit
