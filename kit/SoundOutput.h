#pragma once
// Where sounds go. The GUI installs a real player at start-up; without one
// nothing is heard. Tests install a recorder to see what would be played.
// Starting a sound never blocks, and a missing file or device is not an error.

#include <memory>
#include <string>

class SoundOutput
{
public:
    virtual ~SoundOutput() = default;

    // Loads a WAV file for later playing; returns a handle, or -1 when the
    // file cannot be used (the sound is then silent).
    virtual int Load(const std::string& path) = 0;
    // Starts playing a loaded sound; any thread; returns at once.
    virtual void Play(int handle) = 0;

    // Registers a named, user-configurable sound event with the WAV file
    // that plays when the desktop offers nothing for it.
    virtual void RegisterEvent(const std::string& name, const std::string& fallbackPath) = 0;
    // Plays a registered event; any thread; returns at once.
    virtual void PlayEvent(const std::string& name) = 0;
    // The loudness of the sounds started from now on, 0 (silent) to 1 (as
    // recorded); any thread. An output without a volume control ignores it.
    virtual void SetVolume(float volume) { (void)volume; }
};

namespace kit {
// The installed output (a silent one until something is installed).
SoundOutput& Sound();
void SetSoundOutput(std::shared_ptr<SoundOutput> output);
} // namespace kit
