#include "widgets/GenericFunctions.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

namespace GenericFunctions {

QRect CenteredFrame(int width, int height)
{
    QRect screen(0, 0, 1024, 768);
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    return QRect(screen.left() + (screen.width() - width) / 2,
                 screen.top() + (screen.height() - height) / 2, width, height);
}

int StringWidth(const QFont& font, const QString& text)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

QFont PlainFont(int pixelSize)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setBold(false);
    return font;
}

QFont BoldFont(int pixelSize)
{
    QFont font = PlainFont(pixelSize);
    font.setBold(true);
    return font;
}

} // namespace GenericFunctions
