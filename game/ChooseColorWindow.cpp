#include "game/ChooseColorWindow.h"

#include "app/MessageCodes.h"
#include "app/MyGames.h"
#include "game/GameDialogs.h"
#include "net/ClientLines.h"
#include "net/Features.h"
#include "net/SpeakerLink.h"
#include "widgets/BitmapButton.h"
#include "widgets/GenericFunctions.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Wide enough that a window manager's title bar, with its buttons, still
// shows the whole title.
constexpr int kWidth = 300;
constexpr int kHeight = 150;
// The time control row, when the server keeps clocks.
constexpr int kTimeRowHeight = 28;

struct TimeControl
{
    const char* label;
    int minutes;
    int seconds;
};
const TimeControl kTimeControls[] = {{"Untimed", 0, 0}, {"1+0", 1, 0},  {"3+0", 3, 0},
                                     {"3+2", 3, 2},     {"5+0", 5, 0},  {"10+0", 10, 0},
                                     {"15+10", 15, 10}, {"30+0", 30, 0}};
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
    const bool timed = Features::Supports("clock");
    const int shift = timed ? kTimeRowHeight : 0;
    setFixedSize(kWidth, kHeight + shift);
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight + shift));

    fBackground = GameDialogs::AddBackground(this);

    auto* descriptionLabel = new QLabel("Game Description:", fBackground);
    descriptionLabel->setGeometry(17, 7, kWidth - 14, 18);

    fDescription = new QLineEdit("Let's Play!", fBackground);
    fDescription->setObjectName("description");
    fDescription->setGeometry(27, 30, kWidth - 34, 21);

    if (timed) {
        auto* timeLabel = new QLabel("Time control:", fBackground);
        timeLabel->setGeometry(17, 57, 100, 20);
        fTimeControl = new QComboBox(fBackground);
        fTimeControl->setObjectName("time-control");
        for (const TimeControl& control : kTimeControls)
            fTimeControl->addItem(control.label);
        fTimeControl->setGeometry(120, 56, 100, 22);
    }

    auto* colourLabel = new QLabel("Please select your playing color:", fBackground);
    colourLabel->setGeometry(17, 52 + shift, kWidth - 14, 18);

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
                                               rowLeft, 72 + shift, post(MSG_CHOOSE_BLACK));
    fWhiteButton = GameDialogs::AddImageButton(
        fBackground, "white-rook", GameDialogs::PieceImagePath("/white-rook.png"),
        rowLeft + 100 - 40, 72 + shift, post(MSG_CHOOSE_WHITE));

    fCancelButton = new QPushButton("Nevermind", fBackground);
    fCancelButton->setObjectName("cancel");
    // Not the dialog's default button: Enter in the description must not
    // throw the game away.
    fCancelButton->setAutoDefault(false);
    fCancelButton->setDefault(false);
    fCancelButton->setGeometry(kWidth - 10 - 65, kHeight + shift - 10 - 20, 65, 20);
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
    const std::string description = fDescription->text().toStdString();
    const int chosen = fTimeControl != nullptr ? fTimeControl->currentIndex() : 0;
    const TimeControl& control = kTimeControls[chosen > 0 ? chosen : 0];
    // An untimed game is made as without the clock feature.
    const std::string line =
        control.minutes == 0 && control.seconds == 0
            ? ClientLines::Make(colour, description)
            : ClientLines::MakeTimed(colour, control.minutes, control.seconds, description);
    MyGames::Instance()->AddStarted();
    Speaker().PostLine(line);
}
