#include "game/ChooseColorWindow.h"

#include "app/MessageCodes.h"
#include "app/MyGames.h"
#include "game/GameDialogs.h"
#include "net/ClientLines.h"
#include "net/SpeakerLink.h"
#include "widgets/BitmapButton.h"
#include "widgets/GenericFunctions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Wide enough that a window manager's title bar, with its buttons, still
// shows the whole title.
constexpr int kWidth = 300;
constexpr int kHeight = 150;
} // namespace

ChooseColorWindow::ChooseColorWindow(QWidget* parent)
    : BWindow<QDialog>("Choose Game Characteristics", parent)
{
    setModal(true);
    // A title bar with the close box only: the window neither grows nor
    // shrinks, and the buttons it has no use for would leave its title too
    // little room.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight));

    fBackground = GameDialogs::AddBackground(this);

    auto* descriptionLabel = new QLabel("Game Description:", fBackground);
    descriptionLabel->setGeometry(17, 7, kWidth - 14, 18);

    fDescription = new QLineEdit("Let's Play!", fBackground);
    fDescription->setObjectName("description");
    fDescription->setGeometry(27, 30, kWidth - 34, 21);

    auto* colourLabel = new QLabel("Please select your playing color:", fBackground);
    colourLabel->setGeometry(17, 52, kWidth - 14, 18);

    auto post = [this](uint32 what) {
        return [this, what] {
            BMessage message(what);
            MessageReceived(&message);
        };
    };
    // The two rooks form a row 100 pixels wide, centred in the window.
    const int rowLeft = (kWidth - 100) / 2;
    fBlackButton = GameDialogs::AddImageButton(fBackground, "black-rook",
                                               GameDialogs::PieceImagePath("/black-rook.png"),
                                               rowLeft, 72, post(MSG_CHOOSE_BLACK));
    fWhiteButton = GameDialogs::AddImageButton(fBackground, "white-rook",
                                               GameDialogs::PieceImagePath("/white-rook.png"),
                                               rowLeft + 100 - 40, 72, post(MSG_CHOOSE_WHITE));

    fCancelButton = new QPushButton("Nevermind", fBackground);
    fCancelButton->setObjectName("cancel");
    // Not the dialog's default button: Enter in the description must not
    // throw the game away.
    fCancelButton->setAutoDefault(false);
    fCancelButton->setDefault(false);
    fCancelButton->setGeometry(kWidth - 10 - 65, kHeight - 10 - 20, 65, 20);
    connect(fCancelButton, &QPushButton::clicked, this, post(MSG_DIALOG_CANCEL));

    fDescription->setFocus();
}

ChooseColorWindow::~ChooseColorWindow() = default;

void ChooseColorWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_CHOOSE_BLACK:
        CreateGame(0);
        break;
    case MSG_CHOOSE_WHITE:
        CreateGame(1);
        break;
    case MSG_DIALOG_CANCEL:
        break;
    default:
        return;
    }
    Quit();
}

void ChooseColorWindow::CreateGame(int32 colour)
{
    const std::string line = ClientLines::Make(colour, fDescription->text().toStdString());
    MyGames::Instance()->AddStarted();
    Speaker().PostLine(line);
}
