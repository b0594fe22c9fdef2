#pragma once
// A framed label of large bold text in two fixed colours: background fill,
// a one-pixel frame and the text in the text colour. The text is drawn as
// plain text, never as markup.
//
// GUI thread only.

#include <QColor>
#include <QString>
#include <QWidget>

class BubbleView : public QWidget
{
public:
    BubbleView(const QRect& frame, const QString& name, const QString& text,
               const QColor& background, const QColor& foreground, QWidget* parent = nullptr);

    // Left and vertically centred unless changed.
    void SetAlignment(Qt::Alignment alignment);
    void SetText(const QString& text);

    QString Text() const { return fText; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString fText;
    QColor fBackground;
    QColor fForeground;
    Qt::Alignment fAlignment = Qt::AlignLeft | Qt::AlignVCenter;
};
