#include "SoundSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// Attack time of every tone: long enough to avoid a click, short enough
// that the sound still starts crisply.
constexpr double kAttack = 0.004;
constexpr double kEndFade = 0.030;

double Attack(double t)
{
    if (t >= kAttack)
        return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * t / kAttack);
}
} // namespace

SoundSynth::SoundSynth(int sampleRate, double seconds)
    : fSampleRate(sampleRate), fMix(static_cast<size_t>(std::lround(seconds * sampleRate)), 0.0)
{
}

void SoundSynth::AddTone(double start, double frequency, double amplitude, double decay,
                         const std::vector<Partial>& partials)
{
    const size_t first = static_cast<size_t>(std::lround(start * fSampleRate));
    for (size_t i = first; i < fMix.size(); ++i) {
        double t = static_cast<double>(i - first) / fSampleRate;
        double value = 0.0;
        for (const Partial& partial : partials) {
            double f = frequency * partial.ratio;
            // Partials above the Nyquist frequency would fold back as noise.
            if (f >= fSampleRate / 2.0)
                continue;
            value += partial.amplitude * std::exp(-t / (decay * partial.decayScale)) *
                     std::sin(2.0 * std::numbers::pi * f * t);
        }
        fMix[i] += amplitude * Attack(t) * value;
    }
}

void SoundSynth::AddNoise(double start, double amplitude, double decay, double cutoff,
                          uint32_t seed)
{
    // A one-pole low-pass over a linear congruential generator: fully
    // reproducible, unlike the distributions of <random>.
    const double alpha = 1.0 - std::exp(-2.0 * std::numbers::pi * cutoff / fSampleRate);
    uint32_t state = seed;
    double filtered = 0.0;
    const size_t first = static_cast<size_t>(std::lround(start * fSampleRate));
    for (size_t i = first; i < fMix.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        double white = static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
        filtered += alpha * (white - filtered);
        double t = static_cast<double>(i - first) / fSampleRate;
        fMix[i] += amplitude * Attack(t) * std::exp(-t / decay) * filtered;
    }
}

std::vector<float> SoundSynth::Finish(double peak) const
{
    double largest = 0.0;
    for (double value : fMix)
        largest = std::max(largest, std::abs(value));
    const double scale = largest > 0.0 ? peak / largest : 0.0;
    const size_t fade = std::min(fMix.size(), static_cast<size_t>(kEndFade * fSampleRate));

    std::vector<float> out(fMix.size());
    for (size_t i = 0; i < fMix.size(); ++i) {
        double gain = scale;
        size_t fromEnd = fMix.size() - 1 - i;
        if (fromEnd < fade)
            gain *= static_cast<double>(fromEnd) / static_cast<double>(fade);
        out[i] = static_cast<float>(fMix[i] * gain);
    }
    return out;
}
