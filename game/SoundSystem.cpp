#include "game/SoundSystem.h"

#include "app/AppLocation.h"
#include "kit/SoundOutput.h"
#include "xml/UserSettings.h"

#include <QString>

#include <algorithm>

namespace {

int LoadSound(const char* relative)
{
    return kit::Sound().Load(AppLocation::Instance()->AbsolutePath(relative));
}

} // namespace

SoundSystem* SoundSystem::Instance()
{
    // A function-local static is initialised exactly once, even when two
    // threads ask at the same moment.
    static SoundSystem* sInstance = new SoundSystem();
    return sInstance;
}

SoundSystem::SoundSystem()
{
    _Load();
}

void SoundSystem::ResetForTests()
{
    Instance()->_Load();
    Instance()->fEnabled = true;
}

void SoundSystem::_Load()
{
    fPieceMovedSound = LoadSound("resources/sounds/piece-moved.wav");
    fCheckSound = LoadSound("resources/sounds/check.wav");
    fCheckmateSound = LoadSound("resources/sounds/checkmate.wav");
    fDrawSound = LoadSound("resources/sounds/draw.wav");
    fGameAbortedSound = LoadSound("resources/sounds/game-aborted.wav");
    fLowTimeSound = LoadSound("resources/sounds/low-time.wav");
}

void SoundSystem::PlayPieceMoved(bool sound)
{
    _Play(fPieceMovedSound, sound);
}

void SoundSystem::PlayCheck(bool sound)
{
    _Play(fCheckSound, sound);
}

void SoundSystem::PlayCheckmate(bool sound)
{
    _Play(fCheckmateSound, sound);
}

void SoundSystem::PlayDraw(bool sound)
{
    _Play(fDrawSound, sound);
}

void SoundSystem::PlayGameAborted(bool sound)
{
    _Play(fGameAbortedSound, sound);
}

void SoundSystem::PlayLowTime(bool sound)
{
    _Play(fLowTimeSound, sound);
}

void SoundSystem::EnableSound(bool enabled)
{
    fEnabled = enabled;
}

bool SoundSystem::IsEnabled() const
{
    return fEnabled;
}

void SoundSystem::_Play(int handle, bool sound)
{
    // A sound that could not be loaded stays silent.
    if (!sound || !fEnabled || handle < 0 || !SoundsOn())
        return;
    kit::Sound().SetVolume(Volume());
    kit::Sound().Play(handle);
}

bool SoundSystem::SoundsOn()
{
    std::optional<std::string> value = UserSettings::Instance()->Data("sounds");
    return !value || *value != "off";
}

float SoundSystem::Volume()
{
    std::optional<std::string> value = UserSettings::Instance()->Data("sound-volume");
    bool number = false;
    const int percent = value ? QString::fromStdString(*value).toInt(&number) : 100;
    return static_cast<float>(number ? std::clamp(percent, 0, 100) : 100) / 100.0f;
}
