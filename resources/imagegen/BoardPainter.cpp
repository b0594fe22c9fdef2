#include "BoardPainter.h"

#include "Noise.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace {
constexpr int kCell = 40;
constexpr int kBoard = 8 * kCell;

// One texel of a board: (x, y) in the whole image, (cx, cy) within the cell.
struct Texel
{
    int x, y, cx, cy, column, row;
    bool dark;
};
using Shader = std::function<QColor(const Texel&)>;

QColor Mix(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QColor Scale(const QColor& c, double factor)
{
    return QColor::fromRgbF(static_cast<float>(std::clamp(c.redF() * factor, 0.0, 1.0)),
                            static_cast<float>(std::clamp(c.greenF() * factor, 0.0, 1.0)),
                            static_cast<float>(std::clamp(c.blueF() * factor, 0.0, 1.0)));
}

QImage Shade(const Shader& shader)
{
    QImage image(kBoard, kBoard, QImage::Format_RGB32);
    for (int y = 0; y < kBoard; ++y) {
        for (int x = 0; x < kBoard; ++x) {
            Texel t{x, y, x % kCell, y % kCell, x / kCell, y / kCell, false};
            t.dark = IsDarkCell(t.column, t.row);
            image.setPixelColor(x, y, shader(t));
        }
    }
    return image;
}

// A faint bevel on each cell's edges, as where two inlaid squares meet.
double Bevel(const Texel& t)
{
    if (t.cx == 0 || t.cy == 0)
        return 1.06;
    if (t.cx == kCell - 1 || t.cy == kCell - 1)
        return 0.9;
    return 1.0;
}

QColor Standard(const Texel& t)
{
    return t.dark ? QColor(171, 122, 84) : QColor(239, 219, 180);
}

QColor Tournament(const Texel& t)
{
    return t.dark ? QColor(104, 138, 94) : QColor(233, 236, 212);
}

QColor Wood(const Texel& t)
{
    // Every cell is its own piece of wood: light maple or dark walnut, with
    // its own offset and a slight slant of the grain.
    static const PeriodicNoise grain(7, 64);
    static const PeriodicNoise figure(11, 8);
    const double offset = HashUnit(3, t.column, t.row) * 500.0;
    const double slant = (HashUnit(5, t.column, t.row) - 0.5) * 0.25;
    const double u = t.x + offset;
    const double v = t.y + slant * t.cx + offset * 0.37;
    const double warp = grain.Fractal(u / 60.0, v / 14.0, 3) * 9.0;
    const double ring = 0.5 + 0.5 * std::sin((v + warp) * 2.0 * std::numbers::pi / 7.5);
    const double streak = figure.Fractal(u / 30.0, v / 2.0, 2);
    const double darkness = 0.55 * std::pow(ring, 3.0) + 0.45 * streak;
    const QColor light = t.dark ? QColor(142, 94, 58) : QColor(232, 202, 154);
    const QColor deep = t.dark ? QColor(100, 62, 36) : QColor(202, 162, 108);
    return Scale(Mix(light, deep, darkness), Bevel(t));
}

QColor Marble(const Texel& t)
{
    // Veins follow a sine wave bent by turbulence; the sharp power makes them
    // thin lines across a calm background.
    static const PeriodicNoise turbulence(19, 16);
    static const PeriodicNoise cloud(23, 16);
    const double shift = HashUnit(29, t.column, t.row) * 3.0;
    const double n = turbulence.Fractal(t.x / 40.0 + shift, t.y / 40.0, 5);
    const double wave = std::abs(std::sin((t.x * 0.6 + t.y) / 26.0 + n * 7.0 + shift));
    const double vein = std::pow(1.0 - wave, 10.0);
    const double haze = cloud.Fractal(t.x / 30.0, t.y / 30.0 + shift, 4);
    if (t.dark) {
        const QColor base = Mix(QColor(94, 112, 104), QColor(70, 88, 82), haze);
        return Scale(Mix(base, QColor(170, 186, 176), vein * 0.8), Bevel(t));
    }
    const QColor base = Mix(QColor(242, 240, 233), QColor(222, 220, 212), haze);
    return Scale(Mix(base, QColor(150, 150, 146), vein * 0.7), Bevel(t));
}

struct BoardSkin
{
    const char* name;
    Shader shader;
};

const BoardSkin kSkins[] = {
    {"Standard", Standard},
    {"Wood", Wood},
    {"Marble", Marble},
    {"Tournament", Tournament},
};
} // namespace

bool IsDarkCell(int column, int row)
{
    // A1 is column 0 of row 7; the colours alternate from there.
    return (column + row) % 2 == 1;
}

QStringList BoardSkinNames()
{
    QStringList names;
    for (const BoardSkin& skin : kSkins)
        names << QString::fromLatin1(skin.name);
    return names;
}

QImage PaintBoard(const QString& name)
{
    for (const BoardSkin& skin : kSkins) {
        if (name == QLatin1String(skin.name))
            return Shade(skin.shader);
    }
    return {};
}
