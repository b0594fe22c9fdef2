#include "ImageMeasures.h"

#include <QDir>
#include <QPainter>

#include <cmath>

QString ResourcePath(const QString& relative)
{
    return QStringLiteral(TOLVAR_TEST_RESOURCES) + "/" + relative;
}

QStringList SkinNames(const QString& relative)
{
    return QDir(ResourcePath(relative)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

double Luminance(QRgb pixel)
{
    return 0.2126 * qRed(pixel) + 0.7152 * qGreen(pixel) + 0.0722 * qBlue(pixel);
}

double MeanLuminance(const QImage& image, const QRect& area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            sum += Luminance(image.pixel(x, y));
    }
    return sum / (area.width() * area.height());
}

QImage Composite(const QImage& overlay, QColor background)
{
    QImage result(overlay.size(), QImage::Format_RGB32);
    result.fill(background);
    QPainter painter(&result);
    painter.drawImage(0, 0, overlay);
    painter.end();
    return result;
}

namespace {
// Sums f(composited pixel) over the pixels the overlay covers at least half;
// returns the mean, or 0 when it covers none.
template <typename Measure>
double OverCovered(const QImage& overlay, QColor background, Measure measure)
{
    const QImage over = Composite(overlay, background);
    const QImage argb = overlay.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    int count = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(argb.pixel(x, y)) >= 128) {
                sum += measure(over.pixel(x, y));
                ++count;
            }
        }
    }
    return count > 0 ? sum / count : 0.0;
}
} // namespace

double CoveredLuminance(const QImage& overlay, QColor background)
{
    return OverCovered(overlay, background, [](QRgb pixel) { return Luminance(pixel); });
}

double Visibility(const QImage& overlay, QColor background)
{
    const double base = Luminance(background.rgb());
    return OverCovered(overlay, background,
                       [base](QRgb pixel) { return std::abs(Luminance(pixel) - base); });
}

double SilhouetteDifference(const QImage& a, const QImage& b)
{
    const QImage first = a.convertToFormat(QImage::Format_ARGB32);
    const QImage second = b.convertToFormat(QImage::Format_ARGB32);
    int differing = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x) {
            const bool inFirst = qAlpha(first.pixel(x, y)) >= 128;
            const bool inSecond = qAlpha(second.pixel(x, y)) >= 128;
            differing += inFirst != inSecond;
        }
    }
    return static_cast<double>(differing) / (first.width() * first.height());
}
