#include "WavFile.h"

namespace {
uint32_t U32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t U16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}
} // namespace

bool ParseWav(const std::string& bytes, WavFile& wav, std::string& error)
{
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    if (U32(bytes, 4) != bytes.size() - 8) {
        error = "RIFF size does not match the file size";
        return false;
    }
    bool haveFormat = false, haveData = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        const uint32_t size = U32(bytes, at + 4);
        const size_t body = at + 8;
        if (body + size > bytes.size()) {
            error = "chunk '" + id + "' runs past the end of the file";
            return false;
        }
        if (id == "fmt ") {
            if (size < 16 || U16(bytes, body) != 1) {
                error = "fmt chunk is not plain PCM";
                return false;
            }
            wav.channels = U16(bytes, body + 2);
            wav.sampleRate = static_cast<int>(U32(bytes, body + 4));
            const uint32_t byteRate = U32(bytes, body + 8);
            const uint16_t blockAlign = U16(bytes, body + 12);
            wav.bitsPerSample = U16(bytes, body + 14);
            if (wav.channels < 1 || blockAlign != wav.channels * wav.bitsPerSample / 8 ||
                byteRate != static_cast<uint32_t>(wav.sampleRate) * blockAlign) {
                error = "fmt chunk is inconsistent";
                return false;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                error = "data chunk before the fmt chunk";
                return false;
            }
            if (wav.bitsPerSample == 16) {
                if (size % (2u * static_cast<uint32_t>(wav.channels)) != 0) {
                    error = "data chunk holds a partial frame";
                    return false;
                }
                for (size_t i = 0; i < size; i += 2)
                    wav.samples.push_back(static_cast<int16_t>(U16(bytes, body + i)));
            }
            haveData = true;
        }
        // Chunks are padded to an even length.
        at = body + size + (size & 1);
    }
    if (!haveFormat || !haveData) {
        error = haveFormat ? "no data chunk" : "no fmt chunk";
        return false;
    }
    return true;
}
