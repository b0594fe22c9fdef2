#pragma once
// The About window: the version line and the credits. One instance at a
// time; closing it (close box or Escape) destroys it, and the next
// Instance() builds a new one.
//
// GUI thread only; never blocks.

#include "kit/GuiLooper.h"
#include "widgets/BWindow.h"

#include <QWidget>

class QTextEdit;

class AboutWindow : public BWindow<QWidget, GuiLooper>
{
public:
    static constexpr int kWidth = 175;
    static constexpr int kHeight = 500;

    // The open window, or a new hidden one.
    static AboutWindow* Instance();
    ~AboutWindow() override;

    QTextEdit* TextView() const { return fText; }

private:
    AboutWindow();

    QTextEdit* fText;
};
