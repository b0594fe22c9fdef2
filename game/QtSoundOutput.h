#pragma once
// The program's sound output: short WAV files played with Qt Multimedia.
//
// Any thread may load and play; the sound objects themselves are created
// and started on the GUI thread (other threads post to it), and playing
// never waits. Without an audio device, or without a GUI application,
// nothing is heard and nothing is reported.
//
// A named event plays the WAV file that the user configured for it in the
// settings (key EventSettingsKey(name), holding a path), or else the
// fallback file given when the event was registered.

#include "kit/SoundOutput.h"

#include <memory>
#include <string>

class QtSoundOutput : public SoundOutput
{
public:
    QtSoundOutput();
    ~QtSoundOutput() override;

    int Load(const std::string& path) override;
    void Play(int handle) override;
    void RegisterEvent(const std::string& name, const std::string& fallbackPath) override;
    void PlayEvent(const std::string& name) override;
    void SetVolume(float volume) override;

    // The settings key that overrides an event's file: "sound-event-", then
    // the name without a leading "Tolvar ", in lower case, blanks as "-".
    // "Tolvar Game Started" gives "sound-event-game-started".
    static std::string EventSettingsKey(const std::string& name);

    // The file an event plays now: the configured one when it is a readable
    // file, else the fallback; empty for an unknown event. GUI thread only
    // (it reads the settings).
    std::string EventPath(const std::string& name) const;

private:
    struct State;
    std::shared_ptr<State> fState;
};
