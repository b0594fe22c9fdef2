#include "widgets/BitmapButton.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {
QImage Load(const std::string& path)
{
    QImage image;
    if (!path.empty())
        image.load(QString::fromStdString(path));
    return image;
}
} // namespace

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

BitmapButton::BitmapButton(const QRect& frame, const std::string& upPath,
                           const std::string& downPath, const std::string& disabledPath,
                           QWidget* parent)
    : BitmapButton(parent)
{
    setGeometry(frame);
    SetImages(upPath, downPath, disabledPath);
}

void BitmapButton::SetImages(const std::string& upPath, const std::string& downPath,
                             const std::string& disabledPath)
{
    SetImages(Load(upPath), Load(downPath), Load(disabledPath));
}

void BitmapButton::SetImages(const QImage& up, const QImage& down, const QImage& disabled)
{
    fUp = up;
    fDown = down;
    fDisabled = disabled;
    update();
}

BitmapButton::Face BitmapButton::CurrentFace() const
{
    if (!isEnabled())
        return Face::Disabled;
    return isDown() ? Face::Down : Face::Up;
}

QSize BitmapButton::sizeHint() const
{
    return fUp.isNull() ? QSize(32, 32) : fUp.size();
}

void BitmapButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QImage* image = &fUp;
    switch (CurrentFace()) {
    case Face::Disabled:
        if (!fDisabled.isNull())
            image = &fDisabled;
        break;
    case Face::Down:
        if (!fDown.isNull())
            image = &fDown;
        break;
    case Face::Up:
        break;
    }
    if (!image->isNull())
        painter.drawImage(QPoint(0, 0), *image);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
