// Synthesises the game's sound effects into a directory:
//   tolvar-soundgen OUTPUT-DIRECTORY
// Each sound is short, starts and ends silently, and is built from fixed
// numbers only, so every run writes the same bytes.

#include "SoundSynth.h"
#include "WavWriter.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {
constexpr int kRate = 22050;

// A soft chime: strong fundamental, a little octave and twelfth.
const std::vector<Partial> kChime = {{1.0, 1.0, 1.0}, {2.0, 0.28, 0.55}, {3.0, 0.08, 0.35}};
// A struck wooden bar: the inharmonic overtone of a free bar dies fast.
const std::vector<Partial> kWood = {{1.0, 1.0, 1.0}, {2.76, 0.45, 0.4}, {5.4, 0.2, 0.2}};
// A mellow, slightly hollow tone for the sad news.
const std::vector<Partial> kHollow = {{1.0, 1.0, 1.0}, {3.0, 0.22, 0.6}, {5.0, 0.07, 0.4}};

// Note frequencies (equal temperament, A4 = 440 Hz).
constexpr double kA4 = 440.0, kC5 = 523.25, kD5 = 587.33, kE5 = 659.26, kG5 = 783.99, kA5 = 880.0,
                 kC6 = 1046.50, kE6 = 1318.51, kG4 = 392.0, kE4 = 329.63, kD6 = 1174.66,
                 kG6 = 1567.98;

std::vector<float> PieceMoved()
{
    // A piece set down on a wooden board: a dull knock and a tiny tap.
    SoundSynth synth(kRate, 0.12);
    synth.AddTone(0.0, 310.0, 0.8, 0.018, kWood);
    synth.AddNoise(0.0, 0.9, 0.006, 2500.0, 17);
    return synth.Finish(0.45);
}

std::vector<float> Check()
{
    // Two quick rising chimes: attention, but not alarm.
    SoundSynth synth(kRate, 0.42);
    synth.AddTone(0.0, kA5, 0.9, 0.07, kChime);
    synth.AddTone(0.11, kE6, 1.0, 0.09, kChime);
    synth.AddNoise(0.0, 0.25, 0.004, 3000.0, 23);
    return synth.Finish(0.6);
}

std::vector<float> Checkmate()
{
    // A rising major arpeggio that rings out as a chord.
    SoundSynth synth(kRate, 1.5);
    const double notes[] = {kC5, kE5, kG5, kC6};
    for (int i = 0; i < 4; ++i)
        synth.AddTone(0.12 * i, notes[i], i == 3 ? 1.0 : 0.75, i == 3 ? 0.38 : 0.3, kChime);
    return synth.Finish(0.65);
}

std::vector<float> Draw()
{
    // An open fifth struck twice, evenly: neither triumph nor defeat.
    SoundSynth synth(kRate, 0.7);
    for (double start : {0.0, 0.2}) {
        synth.AddTone(start, kG4, 0.8, 0.14, kChime);
        synth.AddTone(start, kD5, 0.6, 0.14, kChime);
    }
    return synth.Finish(0.55);
}

std::vector<float> GameAborted()
{
    // A falling minor third, in a hollow, muted tone.
    SoundSynth synth(kRate, 0.7);
    synth.AddTone(0.0, kC5, 0.8, 0.1, kHollow);
    synth.AddTone(0.16, kA4, 0.9, 0.14, kHollow);
    return synth.Finish(0.55);
}

std::vector<float> GameStarted()
{
    // Three rising notes: the board is set, the game begins.
    SoundSynth synth(kRate, 0.65);
    const double notes[] = {kE4, kA4, kE5};
    for (int i = 0; i < 3; ++i)
        synth.AddTone(0.09 * i, notes[i], 0.8, i == 2 ? 0.16 : 0.08, kChime);
    return synth.Finish(0.55);
}

std::vector<float> LowTime()
{
    // The tick and tock of a small clock, on a high wooden bar: a reminder
    // that time runs short, distinct from the knock of a move and far from
    // an alarm.
    SoundSynth synth(kRate, 0.36);
    synth.AddTone(0.0, kG6, 0.8, 0.05, kWood);
    synth.AddNoise(0.0, 0.3, 0.003, 4000.0, 31);
    synth.AddTone(0.15, kD6, 0.9, 0.065, kWood);
    synth.AddNoise(0.15, 0.3, 0.003, 4000.0, 37);
    return synth.Finish(0.55);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tolvar-soundgen OUTPUT-DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);

    const std::pair<const char*, std::function<std::vector<float>()>> sounds[] = {
        {"piece-moved.wav", PieceMoved},   {"check.wav", Check},
        {"checkmate.wav", Checkmate},      {"draw.wav", Draw},
        {"game-aborted.wav", GameAborted}, {"game-started.wav", GameStarted},
        {"low-time.wav", LowTime},
    };
    for (const auto& [name, make] : sounds) {
        std::string path = (directory / name).string();
        if (!WriteWav(path, make(), kRate)) {
            std::fprintf(stderr, "tolvar-soundgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
