#pragma once
// The modal dialog that asks which piece a pawn becomes: queen, rook,
// bishop or knight, shown in the colour of the side that promotes.
//
// GUI thread only. The board runs it with exec() and then reads Result():
// "Q", "R", "B" or "N" (always upper case), or 0 when the dialog was closed
// without a choice. The creator deletes it.

#include "kit/Types.h"
#include "widgets/BWindow.h"

#include <QDialog>

class ChoosePromotionWindow : public BWindow<QDialog>
{
public:
    // `side` is CGC_BLACK for the black pieces; any other value gives white.
    explicit ChoosePromotionWindow(int32 side, QWidget* parent = nullptr);
    ~ChoosePromotionWindow() override;

    char Result() const { return fResult; }

    // MSG_PROMOTE_QUEEN, _ROOK, _BISHOP, _KNIGHT record their letter and
    // close the dialog; every other message is ignored.
    void MessageReceived(BMessage* message) override;

private:
    char fResult = 0;
    QWidget* fBackground;
};
