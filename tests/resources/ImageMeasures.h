#pragma once
// Measurements on images for the resource tests: where the files are, how
// light a region is, how visible one image is over another.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

// The absolute path of `relative` below the generated resources directory.
QString ResourcePath(const QString& relative);

// The names of the skin directories below `relative`, sorted.
QStringList SkinNames(const QString& relative);

// Relative luminance 0..255 of a colour, ignoring its alpha.
double Luminance(QRgb pixel);

// Mean luminance of `area` of an opaque image.
double MeanLuminance(const QImage& image, const QRect& area);

// `overlay` alpha-blended over a solid `background`, as the client draws it.
QImage Composite(const QImage& overlay, QColor background);

// Mean luminance of `overlay` over a solid `background`, taken over the pixels
// that the overlay covers at least half.
double CoveredLuminance(const QImage& overlay, QColor background);

// How much `overlay` changes a solid `background`: the mean luminance
// difference, over the pixels that the overlay covers at least half.
double Visibility(const QImage& overlay, QColor background);

// Fraction of the pixels whose alpha differs on the two sides of 128.
double SilhouetteDifference(const QImage& a, const QImage& b);
