#include "GameTestSupport.h"

#include "app/AppLocation.h"
#include "game/QtSoundOutput.h"
#include "game/SoundSystem.h"
#include "xml/UserSettings.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

using testing_support::Sounds;

namespace {
using Played = std::vector<std::string>;

std::string Resource(const std::string& relative)
{
    return AppLocation::Instance()->AbsolutePath(relative);
}
} // namespace

TEST(SoundSystem, EachRequestCarriesItsOwnSoundFlag)
{
    Sounds().Clear();
    SoundSystem* sounds = SoundSystem::Instance();
    sounds->PlayPieceMoved(false);
    sounds->PlayCheck(true);
    sounds->PlayCheckmate();
    sounds->PlayDraw();
    sounds->PlayGameAborted();
    EXPECT_EQ(Sounds().Played(),
              (Played{"check.wav", "checkmate.wav", "draw.wav", "game-aborted.wav"}));

    // A silent request on another thread leaves this one's sound alone.
    Sounds().Clear();
    std::thread silent([&] {
        for (int i = 0; i < 200; ++i)
            sounds->PlayPieceMoved(false);
    });
    for (int i = 0; i < 200; ++i)
        sounds->PlayCheck(true);
    silent.join();
    EXPECT_EQ(Sounds().Played().size(), 200u);

    // The process-wide switch still mutes everything while off.
    Sounds().Clear();
    sounds->EnableSound(false);
    sounds->PlayGameAborted();
    sounds->EnableSound(true);
    sounds->PlayGameAborted();
    EXPECT_EQ(Sounds().Played(), Played{"game-aborted.wav"});

    // The user's switch and volume apply from the next sound on.
    Sounds().Clear();
    UserSettings::Instance()->SetData("sounds", "off");
    sounds->PlayCheck();
    UserSettings::Instance()->SetData("sounds", "on");
    UserSettings::Instance()->SetData("sound-volume", "35");
    sounds->PlayDraw();
    UserSettings::Instance()->SetData("sound-volume", "");
    EXPECT_EQ(Sounds().Played(), Played{"draw.wav"});
    EXPECT_FLOAT_EQ(Sounds().Volume(), 0.35f);
}

TEST(SoundSystem, AMissingFileSilencesOnlyItsOwnEvent)
{
    const std::string draw = Resource("resources/sounds/draw.wav");
    ASSERT_EQ(std::rename(draw.c_str(), (draw + ".away").c_str()), 0);
    SoundSystem::ResetForTests();
    Sounds().Clear();
    SoundSystem* sounds = SoundSystem::Instance();
    sounds->PlayDraw();
    sounds->PlayPieceMoved();
    EXPECT_EQ(Sounds().Played(), Played{"piece-moved.wav"});
    ASSERT_EQ(std::rename((draw + ".away").c_str(), draw.c_str()), 0);
    SoundSystem::ResetForTests();
}

TEST(QtSoundOutput, EventsPlayTheConfiguredFileOrTheirFallback)
{
    EXPECT_EQ(QtSoundOutput::EventSettingsKey("Tolvar Game Started"), "sound-event-game-started");
    QtSoundOutput output;
    const std::string fallback = Resource("resources/sounds/game-started.wav");
    output.RegisterEvent("Tolvar Game Started", fallback);
    EXPECT_EQ(output.EventPath("Tolvar Game Started"), fallback);
    EXPECT_EQ(output.EventPath("Unknown Event"), "");

    const std::string chosen = Resource("resources/sounds/check.wav");
    UserSettings::Instance()->SetData("sound-event-game-started", chosen);
    EXPECT_EQ(output.EventPath("Tolvar Game Started"), chosen);
    // A setting that names no readable file falls back.
    UserSettings::Instance()->SetData("sound-event-game-started", "/nonexistent/x.wav");
    EXPECT_EQ(output.EventPath("Tolvar Game Started"), fallback);
    UserSettings::Instance()->SetData("sound-event-game-started", Resource("resources/sounds"));
    EXPECT_EQ(output.EventPath("Tolvar Game Started"), fallback);
}

TEST(QtSoundOutput, PlayingWithoutADeviceOrFileIsQuietlyNothing)
{
    QtSoundOutput output;
    EXPECT_EQ(output.Load("/nonexistent/sound.wav"), -1);
    const int handle = output.Load(Resource("resources/sounds/check.wav"));
    EXPECT_GE(handle, 0);
    output.RegisterEvent("Tolvar Game Started", Resource("resources/sounds/game-started.wav"));
    // Any thread may play; the work is done on the GUI thread.
    std::thread other([&] {
        output.Play(handle);
        output.Play(-1);
        output.Play(handle + 100);
        output.PlayEvent("Tolvar Game Started");
        output.PlayEvent("Unknown Event");
    });
    other.join();
    QTest::qWait(100);
    SUCCEED();
}
