#include "Noise.h"

#include <cmath>

namespace {
uint32_t Mix(uint32_t h)
{
    // The finaliser of MurmurHash3: every input bit affects every output bit.
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

int64_t Wrap(int64_t value, int period)
{
    int64_t r = value % period;
    return r < 0 ? r + period : r;
}

double Smooth(double t)
{
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}
} // namespace

double HashUnit(uint32_t seed, int64_t x, int64_t y)
{
    uint32_t h = Mix(seed ^ Mix(static_cast<uint32_t>(x) * 0x27d4eb2du) ^
                     Mix(static_cast<uint32_t>(y) * 0x165667b1u + 0x9e3779b9u));
    return static_cast<double>(h) / 4294967296.0;
}

PeriodicNoise::PeriodicNoise(uint32_t seed, int period) : fSeed(seed), fPeriod(period) {}

double PeriodicNoise::_Lattice(int64_t x, int64_t y, int period) const
{
    return HashUnit(fSeed + static_cast<uint32_t>(period), Wrap(x, period), Wrap(y, period));
}

double PeriodicNoise::_Layer(double x, double y, int period) const
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int64_t ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy);
    const double tx = Smooth(x - fx), ty = Smooth(y - fy);
    const double a = _Lattice(ix, iy, period), b = _Lattice(ix + 1, iy, period);
    const double c = _Lattice(ix, iy + 1, period), d = _Lattice(ix + 1, iy + 1, period);
    const double top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

double PeriodicNoise::At(double x, double y) const
{
    return _Layer(x, y, fPeriod);
}

double PeriodicNoise::Fractal(double x, double y, int octaves) const
{
    double sum = 0.0, weight = 1.0, total = 0.0, scale = 1.0;
    for (int i = 0; i < octaves; ++i) {
        // Doubling the lattice period along with the frequency keeps every
        // octave periodic over the same distance.
        sum += weight * _Layer(x * scale, y * scale, fPeriod * static_cast<int>(scale));
        total += weight;
        weight *= 0.5;
        scale *= 2.0;
    }
    return sum / total;
}
