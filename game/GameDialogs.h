#pragma once
// What the two game dialogs share: the light grey background, the piece
// images of the current pieces skin, and the 40 x 40 image buttons.
// GUI thread only.

#include "kit/Types.h"

#include <functional>
#include <string>

class BitmapButton;
class QWidget;

namespace GameDialogs {

// The absolute path of a piece image of the current pieces skin, such as
// "/white-rook.png" (setting "pieces-skin", "Standard" when unset).
std::string PieceImagePath(const std::string& file);

// A plain background view filling `window`, light grey (216, 216, 216).
QWidget* AddBackground(QWidget* window);

// A 40 x 40 image button at (`left`, `top`) showing the image at `path` (no
// picture when it cannot be loaded) that runs `clicked`.
BitmapButton* AddImageButton(QWidget* parent, const char* name, const std::string& path, int left,
                             int top, std::function<void()> clicked);

} // namespace GameDialogs
