#pragma once
// Writes mono 16-bit PCM WAV files. The output depends only on the samples,
// so the same samples always give the same bytes.

#include <string>
#include <vector>

// Writes `samples` (nominally -1..1, clipped outside) as a RIFF/WAVE file with
// one fmt chunk and one data chunk. Returns false when the file cannot be written.
bool WriteWav(const std::string& path, const std::vector<float>& samples, int sampleRate);
