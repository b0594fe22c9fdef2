// The sounds the client plays: well-formed PCM WAV files, read here by a
// strict reader of our own, short, clearly audible without clipping, silent
// at both ends so that they do not click, and each different from the others.

#include "Resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>

namespace {
struct Wav
{
    int channels = 0, rate = 0;
    std::vector<int16_t> samples; // interleaved
};

uint32_t Le(const QByteArray& b, qsizetype at, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(b[at + i]);
    return value;
}

// Parses a 16-bit PCM RIFF/WAVE file; false when any size or field is wrong.
bool ParseWav(const QByteArray& b, Wav& wav)
{
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE" ||
        Le(b, 4, 4) != b.size() - 8)
        return false;
    bool format = false, data = false;
    for (qsizetype at = 12; at + 8 <= b.size();) {
        const QByteArray id = b.mid(at, 4);
        const qsizetype size = Le(b, at + 4, 4), body = at + 8;
        if (body + size > b.size())
            return false;
        if (id == "fmt ") {
            if (size < 16)
                return false;
            wav.channels = static_cast<int>(Le(b, body + 2, 2));
            wav.rate = static_cast<int>(Le(b, body + 4, 4));
            const uint32_t blockAlign = Le(b, body + 12, 2);
            format = Le(b, body, 2) == 1 && Le(b, body + 14, 2) == 16 && wav.channels > 0 &&
                     blockAlign == 2u * wav.channels && Le(b, body + 8, 4) == blockAlign * wav.rate;
            if (!format)
                return false;
        } else if (id == "data") {
            if (!format || size % (2 * wav.channels) != 0)
                return false;
            for (qsizetype i = 0; i < size; i += 2)
                wav.samples.push_back(static_cast<int16_t>(Le(b, body + i, 2)));
            data = true;
        }
        at = body + size + (size & 1); // chunks are padded to an even length
    }
    return format && data;
}
} // namespace

TEST(Sounds, EachIsAShortCleanAudiblePcmWave)
{
    const std::pair<const char*, double> sounds[] = {
        {"piece-moved", 0.5},  {"check", 1.0},        {"checkmate", 2.0}, {"draw", 1.0},
        {"game-aborted", 1.0}, {"game-started", 1.0}, {"low-time", 0.4},
    };
    std::set<QByteArray> seen;
    for (const auto& [name, longest] : sounds) {
        SCOPED_TRACE(name);
        const QByteArray bytes = ReadBytes(ResourcePath(QString("sounds/%1.wav").arg(name)));
        EXPECT_TRUE(seen.insert(bytes).second) << "the same as another sound";
        Wav wav;
        ASSERT_TRUE(ParseWav(bytes, wav));
        ASSERT_FALSE(wav.samples.empty());
        const double seconds = double(wav.samples.size()) / wav.channels / wav.rate;
        EXPECT_GE(seconds, 0.05);
        EXPECT_LT(seconds, longest);
        int peak = 0;
        for (int16_t sample : wav.samples)
            peak = std::max(peak, std::abs(int(sample)));
        EXPECT_GT(peak, 32767 / 5);
        EXPECT_LT(peak, 32767 * 95 / 100);
        EXPECT_LT(std::abs(wav.samples.front()), 328);
        EXPECT_LT(std::abs(wav.samples.back()), 328);
    }
}
