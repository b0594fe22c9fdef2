#pragma once
// A tiny additive synthesiser for the game's sound effects: decaying
// sine partials (bells, wooden knocks) and filtered noise bursts, mixed
// into one mono buffer. Deterministic: noise comes from a seeded generator.

#include <cstdint>
#include <vector>

// One sine component of a tone: frequency as a multiple of the tone's
// fundamental, its share of the amplitude, and its decay time constant as
// a fraction of the tone's own (higher partials usually die faster).
struct Partial
{
    double ratio;
    double amplitude;
    double decayScale;
};

class SoundSynth
{
public:
    SoundSynth(int sampleRate, double seconds);

    // Adds a tone starting at `start` seconds whose partials decay
    // exponentially with time constant `decay` seconds (times each partial's
    // scale). A short raised-cosine attack keeps the onset free of clicks.
    void AddTone(double start, double frequency, double amplitude, double decay,
                 const std::vector<Partial>& partials);

    // Adds a burst of low-passed white noise (a knock or a scrape), decaying
    // with time constant `decay` seconds. The same seed gives the same burst.
    void AddNoise(double start, double amplitude, double decay, double cutoff, uint32_t seed);

    // The mix, scaled so its largest magnitude is `peak` (below 1), with a
    // short fade at the end so that the last sample is silent.
    std::vector<float> Finish(double peak) const;

    int SampleRate() const { return fSampleRate; }

private:
    int fSampleRate;
    std::vector<double> fMix;
};
