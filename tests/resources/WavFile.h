#pragma once
// A strict reader of the WAV files the client plays: RIFF/WAVE with a PCM
// fmt chunk and a data chunk, other chunks skipped.

#include <cstdint>
#include <string>
#include <vector>

struct WavFile
{
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    std::vector<int16_t> samples; // interleaved; only 16-bit files are decoded

    double Seconds() const
    {
        return channels > 0 && sampleRate > 0
                   ? static_cast<double>(samples.size()) / channels / sampleRate
                   : 0.0;
    }
};

// Parses `bytes`; on failure returns false and says why in `error`.
bool ParseWav(const std::string& bytes, WavFile& wav, std::string& error);
