#pragma once
// The status line: one line of small black text on a plain light grey
// ground across the bottom of its parent, below a grey and a white rule. It places itself: full
// parent width, GetHeight() + 3 pixels high, flush with the parent's bottom edge, and follows the
// parent when it is resized.
//
// GUI thread only; the text is drawn as plain text.

#include <QWidget>

#include <string>

class StatusView : public QWidget
{
public:
    explicit StatusView(const std::string& name, QWidget* parent = nullptr);

    void SetMessage(const std::string& text);
    std::string Message() const { return fMessage; }

    // Height of the text (ascent + descent), without the three pixels of
    // rules and margin the view adds; owners leave this much room for it.
    int GetHeight() const { return fTextHeight; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void _Place();
    void _WatchParent();

    std::string fMessage;
    int fTextHeight;
    int fDescent;
    QWidget* fWatchedParent = nullptr;
};
