#pragma once
// Small helpers for placing windows and measuring text.

#include <QRect>
#include <QString>

class QFont;

namespace GenericFunctions {
// A frame of the given size centred on the primary screen.
QRect CenteredFrame(int width, int height);
// Width in pixels of `text` in `font`.
int StringWidth(const QFont& font, const QString& text);
} // namespace GenericFunctions
