#include "BoardPainter.h"

#include "Noise.h"

#include <QColor>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace {
constexpr int kCell = 40;
constexpr int kBoard = 8 * kCell;

// One texel of a board. Positions are in the units of the 320-pixel board,
// at the texel's centre, so that a larger board shows the same picture in
// finer detail: (x, y) in the whole board, (cx, cy) within the cell.
struct Texel
{
    double x, y, cx, cy;
    int column, row;
    bool dark;
    int bevel; // +1 on a cell's top and left edge, -1 on its bottom and right one
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

QImage Shade(const Shader& shader, int scale)
{
    const int cell = kCell * scale;
    QImage image(8 * cell, 8 * cell, QImage::Format_RGB32);
    auto unit = [scale](int pixel) { return (pixel + 0.5) / scale - 0.5; };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            Texel t{unit(x), unit(y), 0, 0, x / cell, y / cell, false, 0};
            t.cx = t.x - t.column * kCell;
            t.cy = t.y - t.row * kCell;
            t.dark = IsDarkCell(t.column, t.row);
            // The bevel is one unit wide, whatever the scale.
            const int px = x % cell, py = y % cell;
            if (px < scale || py < scale)
                t.bevel = 1;
            else if (px >= cell - scale || py >= cell - scale)
                t.bevel = -1;
            image.setPixelColor(x, y, shader(t));
        }
    }
    return image;
}

// A faint bevel on each cell's edges, as where two inlaid squares meet.
double Bevel(const Texel& t)
{
    return t.bevel > 0 ? 1.06 : t.bevel < 0 ? 0.9 : 1.0;
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

// A skin is either flat, two colours, or textured, a shader.
struct BoardSkin
{
    const char* name;
    QColor light, dark;
    Shader shader;
};

const BoardSkin kSkins[] = {
    {"Standard", QColor(239, 219, 180), QColor(171, 122, 84), {}},
    {"Wood", {}, {}, Wood},
    {"Marble", {}, {}, Marble},
    {"Tournament", QColor(233, 236, 212), QColor(104, 138, 94), {}},
};

const BoardSkin* FindSkin(const QString& name)
{
    for (const BoardSkin& skin : kSkins) {
        if (name == QLatin1String(skin.name))
            return &skin;
    }
    return nullptr;
}
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

QImage PaintBoard(const QString& name, int scale)
{
    const BoardSkin* skin = FindSkin(name);
    if (!skin || scale < 1)
        return {};
    if (skin->shader)
        return Shade(skin->shader, scale);
    const QColor light = skin->light, dark = skin->dark;
    return Shade([light, dark](const Texel& t) { return t.dark ? dark : light; }, scale);
}

QByteArray BoardSvg(const QString& name)
{
    const BoardSkin* skin = FindSkin(name);
    if (!skin || skin->shader)
        return {};
    // One light square under the whole board and the dark cells on it: dark
    // cells meet only at their corners, so no seam shows at any scale.
    QByteArray svg;
    QXmlStreamWriter out(&svg);
    out.setAutoFormatting(true);
    out.writeStartDocument();
    const QString ns = QStringLiteral("http://www.w3.org/2000/svg");
    out.writeDefaultNamespace(ns);
    out.writeStartElement(ns, "svg");
    out.writeAttribute("width", QString::number(kBoard));
    out.writeAttribute("height", QString::number(kBoard));
    out.writeAttribute("viewBox", "0 0 8 8");
    out.writeEmptyElement("rect");
    out.writeAttribute("width", "8");
    out.writeAttribute("height", "8");
    out.writeAttribute("fill", skin->light.name(QColor::HexRgb));
    out.writeStartElement("g");
    out.writeAttribute("fill", skin->dark.name(QColor::HexRgb));
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            if (!IsDarkCell(column, row))
                continue;
            out.writeEmptyElement("rect");
            out.writeAttribute("x", QString::number(column));
            out.writeAttribute("y", QString::number(row));
            out.writeAttribute("width", "1");
            out.writeAttribute("height", "1");
        }
    }
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndDocument();
    return svg;
}
