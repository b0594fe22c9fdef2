#pragma once
// Smooth value noise that repeats with a fixed period, for procedural
// textures. Built from an integer hash, so a seed always gives the same
// texture on every machine and run.

#include <cstdint>

class PeriodicNoise
{
public:
    // `period`: the lattice repeats every `period` units in x and in y.
    PeriodicNoise(uint32_t seed, int period);

    // Noise in 0..1 at (x, y), in lattice units; smooth between lattice points.
    double At(double x, double y) const;

    // Sum of `octaves` layers, each of twice the frequency and half the weight
    // of the one before, normalised to 0..1. Periodic with the same period.
    double Fractal(double x, double y, int octaves) const;

private:
    double _Lattice(int64_t x, int64_t y, int period) const;
    double _Layer(double x, double y, int period) const;

    uint32_t fSeed;
    int fPeriod;
};

// A reproducible number in 0..1 for an integer pair, e.g. to vary each board cell.
double HashUnit(uint32_t seed, int64_t x, int64_t y);
