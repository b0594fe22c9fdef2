#include "game/GameActions.h"

#include "net/ClientLines.h"
#include "net/Features.h"
#include "net/SpeakerLink.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

constexpr int kRowHeight = 26;
constexpr int kGap = 6;

QPushButton* AddButton(QWidget* row, const char* name, const QString& label)
{
    auto* button = new QPushButton(label, row);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    row->layout()->addWidget(button);
    return button;
}

QWidget* AddRow(QWidget* parent, const char* name)
{
    auto* row = new QWidget(parent);
    row->setObjectName(name);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kGap);
    return row;
}

} // namespace

GameActions::GameActions(const std::string& gameId, int32 colour, QWidget* parent)
    : QObject(parent), fGameID(gameId), fColour(colour)
{
    fUpperRow = AddRow(parent, "actions");
    fResign = AddButton(fUpperRow, "resign", "Resign");
    fDraw = AddButton(fUpperRow, "draw", "Offer draw");
    fAbort = AddButton(fUpperRow, "abort", "Abort");
    fRematch = AddButton(fUpperRow, "rematch", "Rematch");
    static_cast<QHBoxLayout*>(fUpperRow->layout())->addStretch(1);

    fLowerRow = AddRow(parent, "offers");
    fNote = new QLabel(fLowerRow);
    fNote->setObjectName("note");
    fNote->setTextFormat(Qt::PlainText);
    fNote->setAutoFillBackground(true);
    fLowerRow->layout()->addWidget(fNote);
    fAccept = AddButton(fLowerRow, "accept", "Accept");
    fDecline = AddButton(fLowerRow, "decline", "Decline");
    static_cast<QHBoxLayout*>(fLowerRow->layout())->addStretch(1);

    connect(fResign, &QPushButton::clicked, this, [this] { AskToResign({}); });
    connect(fDraw, &QPushButton::clicked, this, [this] {
        fDrawByMe = true;
        _Send(ClientLines::Draw(fGameID, "offer"));
    });
    connect(fAbort, &QPushButton::clicked, this,
            [this] { _Send(ClientLines::AbortGame(fGameID)); });
    connect(fRematch, &QPushButton::clicked, this, [this] {
        fRematchByMe = true;
        _Send(ClientLines::Rematch(fGameID));
    });
    connect(fAccept, &QPushButton::clicked, this, [this] { _Answer(true); });
    connect(fDecline, &QPushButton::clicked, this, [this] { _Answer(false); });
    _Refresh();
}

void GameActions::Place(const QRect& upperPanel, const QRect& lowerPanel)
{
    // Below the upper panel's clock, and above the lower panel's.
    fUpperRow->setGeometry(upperPanel.x(), upperPanel.bottom() + 36, upperPanel.width(),
                           kRowHeight);
    fLowerRow->setGeometry(lowerPanel.x(), lowerPanel.top() - 65, lowerPanel.width(), kRowHeight);
}

void GameActions::Started()
{
    fStarted = true;
    _Refresh();
}

void GameActions::MovePlayed(int32 side)
{
    ++fPlies;
    // One's own move withdraws one's offer, or declines the opponent's.
    if (side == fColour) {
        fDrawByMe = false;
        fDrawToMe = false;
    }
    fNote->clear();
    _Refresh();
}

void GameActions::DrawOfferChanged(int32 side, const std::string& what)
{
    if (side == fColour || !IsRunning())
        return;
    if (what == "offer") {
        fDrawToMe = true;
        fNote->setText("Draw offered");
    } else if (what == "cancel") {
        fDrawToMe = false;
        fNote->clear();
    } else if (what == "decline") {
        fDrawByMe = false;
        fNote->setText("Draw declined");
    }
    _Refresh();
}

void GameActions::RematchChanged(int32 side, const std::string& what, const std::string& newId)
{
    if (what == "new") {
        fRematchId = newId;
        fRematchByMe = false;
        fRematchToMe = false;
        fNote->setText(QString::fromStdString("Rematch: game #" + newId));
    } else if (side != fColour && what == "offer") {
        fRematchToMe = true;
        fNote->setText("Rematch offered");
    } else if (side != fColour && what == "decline") {
        fRematchByMe = false;
        fNote->setText("Rematch declined");
    }
    _Refresh();
}

void GameActions::Over()
{
    fOver = true;
    fDrawByMe = false;
    fDrawToMe = false;
    if (!fRematchToMe)
        fNote->clear();
    _Refresh();
}

void GameActions::Gone()
{
    fGone = true;
    fNote->clear();
    _Refresh();
}

void GameActions::SetWaiting(bool waiting)
{
    fUpperRow->setEnabled(!waiting);
    fLowerRow->setEnabled(!waiting);
}

bool GameActions::IsRunning() const
{
    return fStarted && !fOver && !fGone;
}

bool GameActions::LeavingLoses() const
{
    return IsRunning() && fPlies >= 2 && Features::Supports("resign");
}

void GameActions::AskToResign(std::function<void()> then)
{
    if (fQuestion != nullptr)
        return;
    auto* question = new QMessageBox(QMessageBox::Question, "Resign", "Resign this game?",
                                     QMessageBox::Yes | QMessageBox::No, fUpperRow->window());
    question->setObjectName("resign-question");
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    fQuestion = question;
    connect(question, &QMessageBox::finished, this, [this, then](int answer) {
        if (answer != QMessageBox::Yes || !IsRunning())
            return;
        _Send(ClientLines::Resign(fGameID));
        if (then)
            then();
    });
    question->open();
}

QPushButton* GameActions::Button(const QString& name) const
{
    for (QPushButton* button : {fResign, fDraw, fAbort, fRematch, fAccept, fDecline})
        if (button->objectName() == name)
            return button;
    return nullptr;
}

QString GameActions::Note() const
{
    return fNote->text();
}

void GameActions::_Send(const std::string& line)
{
    Speaker().PostLine(line);
    _Refresh();
}

void GameActions::_Answer(bool accept)
{
    if (IsRunning() && fDrawToMe) {
        fDrawToMe = false;
        _Send(ClientLines::Draw(fGameID, accept ? "accept" : "decline"));
    } else if (fOver && fRematchToMe) {
        fRematchToMe = false;
        _Send(accept ? ClientLines::Rematch(fGameID) : ClientLines::RematchDecline(fGameID));
    }
    fNote->clear();
    _Refresh();
}

void GameActions::_Refresh()
{
    const bool running = IsRunning();
    const bool over = fOver && !fGone && fRematchId.empty();
    fResign->setVisible(running && Features::Supports("resign"));
    fDraw->setVisible(running && Features::Supports("draw") && !fDrawToMe);
    fDraw->setEnabled(!fDrawByMe);
    fDraw->setText(fDrawByMe ? "Draw offered" : "Offer draw");
    fAbort->setVisible(running && fPlies < 2 && Features::Supports("abort"));
    fRematch->setVisible(over && Features::Supports("rematch") && !fRematchToMe);
    fRematch->setEnabled(!fRematchByMe);
    fRematch->setText(fRematchByMe ? "Rematch offered" : "Rematch");
    const bool answering = (running && fDrawToMe) || (over && fRematchToMe);
    fAccept->setVisible(answering);
    fDecline->setVisible(answering);
    fNote->setVisible(!fNote->text().isEmpty());
    fUpperRow->setVisible(fResign->isVisibleTo(fUpperRow) || fDraw->isVisibleTo(fUpperRow) ||
                          fAbort->isVisibleTo(fUpperRow) || fRematch->isVisibleTo(fUpperRow));
    fLowerRow->setVisible(answering || !fNote->text().isEmpty());
}
