#pragma once
// Small helpers for placing windows and measuring text.

#include <QFont>
#include <QRect>
#include <QString>

namespace GenericFunctions {
// A frame of the given size centred on the primary screen.
QRect CenteredFrame(int width, int height);
// Width in pixels of `text` in `font`.
int StringWidth(const QFont& font, const QString& text);
// The application's plain (or bold) font at a size in pixels. The window
// layouts are given in pixels, so their fonts are too, whatever the
// screen's resolution.
QFont PlainFont(int pixelSize);
QFont BoldFont(int pixelSize);
} // namespace GenericFunctions
