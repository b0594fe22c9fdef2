#include "WavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

namespace {
void PutU32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void PutU16(std::string& out, uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>(value >> 8));
}
} // namespace

bool WriteWav(const std::string& path, const std::vector<float>& samples, int sampleRate)
{
    const uint16_t channels = 1;
    const uint16_t bitsPerSample = 16;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);

    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    PutU32(out, 36 + dataBytes);
    out += "WAVE";
    out += "fmt ";
    PutU32(out, 16);
    PutU16(out, 1); // PCM
    PutU16(out, channels);
    PutU32(out, static_cast<uint32_t>(sampleRate));
    PutU32(out, static_cast<uint32_t>(sampleRate) * channels * bitsPerSample / 8);
    PutU16(out, channels * bitsPerSample / 8);
    PutU16(out, bitsPerSample);
    out += "data";
    PutU32(out, dataBytes);
    for (float sample : samples) {
        float clipped = std::clamp(sample, -1.0f, 1.0f);
        PutU16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(clipped * 32767.0f))));
    }

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}
