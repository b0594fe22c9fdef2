#pragma once
// A push button drawn from images: the up image normally, the down image
// while pressed and the disabled image while disabled, each alpha-blended at
// the button's top-left corner. A state without an image falls back to the
// up image; without any image the button is blank but still works. It takes
// the keyboard focus (Tab) and shows it with a dotted frame.
//
// GUI thread only. Image files are read once, when they are set.

#include <QAbstractButton>
#include <QImage>

#include <string>

class BitmapButton : public QAbstractButton
{
public:
    explicit BitmapButton(QWidget* parent = nullptr);
    BitmapButton(const QRect& frame, const std::string& upPath, const std::string& downPath,
                 const std::string& disabledPath, QWidget* parent = nullptr);

    // Loads the images; an empty or unreadable path leaves that state without one.
    void SetImages(const std::string& upPath, const std::string& downPath,
                   const std::string& disabledPath);
    void SetImages(const QImage& up, const QImage& down, const QImage& disabled);

    // Which image the button shows now (for tests and accessibility).
    enum class Face
    {
        Up,
        Down,
        Disabled
    };
    Face CurrentFace() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage fUp;
    QImage fDown;
    QImage fDisabled;
};
