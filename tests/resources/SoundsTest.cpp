// The sounds the client plays: well-formed PCM WAV files, short, audible,
// free of clicks at either end, and each different from the others.

#include "ImageMeasures.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {
struct Expected
{
    const char* file;
    double longest; // seconds
};

// The five game sounds and the fallback of the "Tolvar Game Started" event.
const Expected kSounds[] = {
    {"sounds/piece-moved.wav", 0.5},  {"sounds/check.wav", 1.0},
    {"sounds/checkmate.wav", 2.0},    {"sounds/draw.wav", 1.0},
    {"sounds/game-aborted.wav", 1.0}, {"sounds/game-started.wav", 1.0},
};

std::string ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}
} // namespace

TEST(WavReader, RefusesBrokenFiles)
{
    WavFile wav;
    std::string error;
    const std::string good = ReadAll(ResourcePath("sounds/check.wav"));
    ASSERT_TRUE(ParseWav(good, wav, error)) << error;

    std::string truncated = good.substr(0, good.size() - 10);
    EXPECT_FALSE(ParseWav(truncated, wav, error));
    std::string notWave = good;
    notWave.replace(8, 4, "AVI ");
    EXPECT_FALSE(ParseWav(notWave, wav, error));
    std::string compressed = good;
    compressed[20] = 2; // format tag 2: ADPCM
    EXPECT_FALSE(ParseWav(compressed, wav, error));
}

TEST(Sounds, EachIsAShortCleanPcmWave)
{
    for (const Expected& expected : kSounds) {
        SCOPED_TRACE(expected.file);
        WavFile wav;
        std::string error;
        ASSERT_TRUE(ParseWav(ReadAll(ResourcePath(expected.file)), wav, error)) << error;
        EXPECT_EQ(wav.bitsPerSample, 16);
        EXPECT_TRUE(wav.sampleRate == 22050 || wav.sampleRate == 44100) << wav.sampleRate;
        EXPECT_LE(wav.channels, 2);
        EXPECT_GE(wav.Seconds(), 0.05);
        EXPECT_LE(wav.Seconds(), expected.longest);
        ASSERT_FALSE(wav.samples.empty());

        int peak = 0;
        for (int16_t sample : wav.samples)
            peak = std::max(peak, std::abs(static_cast<int>(sample)));
        // Clearly audible, yet with headroom: no clipping.
        EXPECT_GT(peak, 32767 / 5);
        EXPECT_LT(peak, 32767 * 95 / 100);
        // Starting and stopping at silence, so neither end clicks.
        EXPECT_LT(std::abs(wav.samples.front()), 328);
        EXPECT_LT(std::abs(wav.samples.back()), 328);
    }
}

TEST(Sounds, AreAllDifferent)
{
    std::map<std::string, std::string> seen;
    for (const Expected& expected : kSounds) {
        const std::string bytes = ReadAll(ResourcePath(expected.file));
        auto [where, inserted] = seen.emplace(bytes, expected.file);
        EXPECT_TRUE(inserted) << expected.file << " is the same as " << where->second;
    }
}
