#pragma once
// A framed label of large bold text in two fixed colours: background fill,
// a one-pixel frame and the text in the text colour. The text is drawn as
// plain text, never as markup.
//
// GUI thread only.

#include <QColor>
#include <QWidget>

#include <string>

class BubbleView : public QWidget {
public:
    BubbleView(const QRect& frame, const std::string& name, const std::string& text,
               const QColor& background, const QColor& foreground, QWidget* parent = nullptr);

    // Left and vertically centred unless changed.
    void SetAlignment(Qt::Alignment alignment);

    std::string Text() const { return fText; }
    QColor Background() const { return fBackground; }
    QColor Foreground() const { return fForeground; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string fText;
    QColor fBackground;
    QColor fForeground;
    Qt::Alignment fAlignment = Qt::AlignLeft | Qt::AlignVCenter;
};
