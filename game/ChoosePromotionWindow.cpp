#include "game/ChoosePromotionWindow.h"

#include "app/MessageCodes.h"
#include "cgc/cgc.h"
#include "game/GameDialogs.h"
#include "widgets/BitmapButton.h"
#include "widgets/GenericFunctions.h"

#include <QLabel>

namespace {
constexpr int kWidth = 300;
constexpr int kHeight = 104;
} // namespace

ChoosePromotionWindow::ChoosePromotionWindow(int32 side, QWidget* parent)
    : BWindow<QDialog>("Choose Your Promoting Piece", parent)
{
    // The board reads the result after exec() returns and deletes the
    // dialog itself.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setModal(true);
    setFixedSize(kWidth, kHeight);
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight));

    fBackground = GameDialogs::AddBackground(this);
    auto* label = new QLabel("Please select your promotion...", fBackground);
    label->setGeometry(0, 6, 300, 16);
    label->setAlignment(Qt::AlignCenter);

    const std::string colour = side == CGC_BLACK ? "/black-" : "/white-";
    struct Choice
    {
        const char* name;
        int left;
        uint32 what;
    };
    const Choice choices[] = {{"queen", 50, MSG_PROMOTE_QUEEN},
                              {"rook", 100, MSG_PROMOTE_ROOK},
                              {"bishop", 150, MSG_PROMOTE_BISHOP},
                              {"knight", 210, MSG_PROMOTE_KNIGHT}};
    for (const Choice& choice : choices) {
        const uint32 what = choice.what;
        GameDialogs::AddImageButton(fBackground, choice.name,
                                    GameDialogs::PieceImagePath(colour + choice.name + ".png"),
                                    choice.left, 32, [this, what] {
                                        BMessage message(what);
                                        MessageReceived(&message);
                                    });
    }
}

ChoosePromotionWindow::~ChoosePromotionWindow() = default;

void ChoosePromotionWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_PROMOTE_QUEEN:
        fResult = 'Q';
        break;
    case MSG_PROMOTE_ROOK:
        fResult = 'R';
        break;
    case MSG_PROMOTE_BISHOP:
        fResult = 'B';
        break;
    case MSG_PROMOTE_KNIGHT:
        fResult = 'N';
        break;
    default:
        return;
    }
    Quit();
}
