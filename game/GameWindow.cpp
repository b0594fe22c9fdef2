#include "game/GameWindow.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "cgc/cgc.h"
#include "game/ChessView.h"
#include "game/ClockDisplay.h"
#include "game/GameActions.h"
#include "game/MoveList.h"
#include "game/PlayerName.h"
#include "game/SoundSystem.h"
#include "kit/SoundOutput.h"
#include "net/ClientLines.h"
#include "net/SpeakerLink.h"
#include "widgets/BubbleView.h"
#include "widgets/GenericFunctions.h"
#include "widgets/StatusView.h"
#include "widgets/UserPanel.h"
#include "xml/UserSettings.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const QRect kUpperPanel(340, 32, 300, 60);
const QRect kLowerPanel(340, 257, 300, 60);
constexpr int kChatTop = 348;
constexpr int kChatMargin = 7;
// How often running clocks are redrawn: often enough for their tenths.
constexpr int kClockInterval = 50;
// How often an absent player's countdown looks at the clock; the text
// changes once a second.
constexpr int kAwayInterval = 200;
// Around the board at the classic size: the board frame's corner, the
// room right of the board (panel column) and below it (chat and status).
constexpr int kBoardLeft = 10;
constexpr int kBoardTop = 14;
constexpr int kRightRoom =
    GameWindow::kWidth + GameWindow::kMoveListWidth - kBoardLeft - ChessView::kBoardSize;
constexpr int kBelowRoom = GameWindow::kHeight - ChessView::kBoardSize;
// The size of the window is kept in the settings under these keys.
constexpr const char* kWidthKey = "game-window-width";
constexpr const char* kHeightKey = "game-window-height";

// A stored window dimension: a whole number within [low, high], else `fallback`.
int StoredSize(const char* key, int low, int high, int fallback)
{
    std::optional<std::string> text = UserSettings::Instance()->Data(key);
    if (!text)
        return fallback;
    bool number = false;
    const int value = QString::fromStdString(*text).toInt(&number);
    return number ? std::clamp(value, low, high) : fallback;
}

QFrame* BorderFrame(const QRect& inner, QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
    frame->setGeometry(inner.adjusted(-1, -1, 1, 1));
    return frame;
}

} // namespace

GameWindow::GameWindow(const std::string& id, game* record, int32 colour)
    : GameWindow(id, record, false, colour)
{
}

GameWindow::GameWindow(const std::string& id, game* record, const std::string& moves)
    : GameWindow(id, record, true, OBSERVER_COLOR)
{
    _ReplayMoves(moves);
}

GameWindow::GameWindow(const std::string& id, game* record, const std::vector<std::string>& moves,
                       const PgnFacts& facts)
    : GameWindow(id, record, true, OBSERVER_COLOR, true)
{
    fFacts = facts;
    // A scratch record judges each move first: one the engine refuses, or
    // one that would ask for a promotion piece, ends the replay there.
    game* judge = cgc_create_seated_game();
    for (size_t i = 0; i < moves.size() && judge != nullptr; ++i) {
        char buffer[8] = {};
        std::strncpy(buffer, moves[i].c_str(), 7);
        if (moves[i].size() > 7 || cgc_make_move(judge, buffer) < 0) {
            fMoveList->SetNote("The stored record cannot be read past move " +
                               std::to_string(i / 2 + 1) + (i % 2 == 0 ? ". " : "... ") +
                               moves[i].substr(0, 12) + "; the game is shown up to it.");
            break;
        }
        std::strncpy(buffer, moves[i].c_str(), 7);
        fBoard->MakeMove(buffer, false);
    }
    cgc_free_game(judge);
    SetWhitePlayer(facts.white);
    SetBlackPlayer(facts.black);
    fChat->SetEnabled(false);
    std::string result = PgnResult(facts.winner);
    SetWhoIsWinner(facts.winner);
    SetWinner(facts.reason.empty() ? result : facts.reason + " " + result);
    SetStatus("A finished game (#" + fGameID + ", " + facts.date + "), for review.");
}

GameWindow::GameWindow(const std::string& id, game* record, bool observing, int32 boardColour,
                       bool review)
    : BWindow<QWidget, GameWindowBase>("Game"), fGameID(id), fGame(record), fTurn(CGC_WHITE),
      fObserving(observing), fResetsAtStart(Speaker().ResetCount()), fColour(boardColour)
{
    fReview = review;
    IgnoreMessages({MSG_PORT_DATA, MSG_SPEAKER_LINE, MSG_CONNECTION_BROKEN});
    MessageRepeater::Instance()->AddTarget(this);

    // The classic size, or the size the user last gave a game window; it
    // grows from there, the board taking the room.
    setMinimumSize(kWidth + kMoveListWidth, kMinHeight);
    setMaximumHeight(kMaxHeight);
    QSize size(kWidth + kMoveListWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        const int width = kWidth + kMoveListWidth;
        size = QSize(StoredSize(kWidthKey, width, std::max(width, room.width()), width),
                     StoredSize(kHeightKey, kMinHeight, std::max(kHeight, room.height()), kHeight));
    }
    setGeometry(GenericFunctions::CenteredFrame(size.width(), size.height()));

    // A review is no game of the server's: nothing is sent for it and no
    // reply is meant for it.
    if (fReview)
        fGone = true;
    else
        MyGames::Instance()->AddGameReference(fGameID, this);

    fBackground = new QWidget(this);
    fBackground->setObjectName("background");
    fBackground->setGeometry(rect());

    fBoardFrame = BorderFrame(
        QRect(kBoardLeft, kBoardTop, ChessView::kBoardSize, ChessView::kBoardSize), fBackground);
    fBoard = new ChessView(QRect(1, 1, ChessView::kBoardSize, ChessView::kBoardSize), fGame,
                           boardColour, fBoardFrame);

    fStatus = new StatusView("status", fBackground);

    fFlip = new QPushButton(QStringLiteral("Flip"), fBackground);
    fFlip->setObjectName("flip");
    fFlip->setFocusPolicy(Qt::NoFocus);
    fFlip->setToolTip(QStringLiteral("Turn the board round (F)"));
    connect(fFlip, &QPushButton::clicked, this, [this] { FlipBoard(); });
    // F reaches the window only when no text field takes it, so it types
    // into the chat while the chat has the focus.
    auto* flipKey = new QShortcut(QKeySequence(Qt::Key_F), this);
    connect(flipKey, &QShortcut::activated, this, [this] { FlipBoard(); });
    auto* cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(cancelKey, &QShortcut::activated, this, [this] { fBoard->CancelPickUp(); });

    // The opponent's panel is the upper one; a watcher sees Black on top.
    const bool blackBelow = !fObserving && boardColour == CGC_BLACK;
    fBlackPanel =
        new PlayerName(blackBelow ? kLowerPanel : kUpperPanel, fBlackName, CGC_BLACK, fBackground);
    fWhitePanel =
        new PlayerName(blackBelow ? kUpperPanel : kLowerPanel, fWhiteName, CGC_WHITE, fBackground);

    fWhiteClock = new ClockDisplay(fClock, CGC_WHITE, fBackground);
    fBlackClock = new ClockDisplay(fClock, CGC_BLACK, fBackground);
    fWhiteClock->hide();
    fBlackClock->hide();
    fClockTimer = new QTimer(this);
    fClockTimer->setInterval(kClockInterval);
    connect(fClockTimer, &QTimer::timeout, this, [this] { _TickClocks(); });
    fAwayTimer = new QTimer(this);
    fAwayTimer->setInterval(kAwayInterval);
    connect(fAwayTimer, &QTimer::timeout, this, [this] { _TickAway(); });
    if (!fObserving)
        fActions = new GameActions(fGameID, fColour, fBackground);

    fChatFrame = new QFrame(fBackground);
    fChatFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    fChatFrame->setLineWidth(1);
    fChat = new UserPanel(fChatFrame);
    _AddMoveList();
    _LayOut();

    fChat->SetEnabled(false);
    _UpdateWindowTitle();

    const std::string tilePath =
        AppLocation::Instance()->AbsolutePath("resources/graphics/game-background.png");
    QPixmap tile(QString::fromStdString(tilePath));
    if (!tile.isNull()) {
        QPalette palette = fBackground->palette();
        palette.setBrush(QPalette::Window, QBrush(tile));
        fBackground->setPalette(palette);
        fBackground->setAutoFillBackground(true);
    }
}

GameWindow::~GameWindow()
{
    MessageRepeater::Instance()->RemoveTarget(this);
    // A window destroyed without being asked to close must not stay
    // reachable through the registry.
    MyGames* games = MyGames::Instance();
    if (games->GetGameReference(fGameID) == this)
        games->RemoveGameReference(fGameID);
    // The views read the record while they go; free it after them.
    delete fBackground;
    fBackground = nullptr;
    cgc_free_game(fGame);
}

// --- layout ---

void GameWindow::_LayOut()
{
    fBackground->setGeometry(rect());
    // The board takes the room in whole squares; everything else keeps its
    // classic place beside or below it.
    const int cell =
        std::max(int(ChessView::kCellSize),
                 std::min(width() - kRightRoom - kBoardLeft, height() - kBelowRoom) / 8);
    const int grown = 8 * cell - ChessView::kBoardSize;
    fBoard->SetCellSize(cell);
    fBoardFrame->setGeometry(kBoardLeft - 1, kBoardTop - 1, 8 * cell + 2, 8 * cell + 2);
    fBoard->move(1, 1);
    const bool blackBelow = fBlackPanel->y() > fWhitePanel->y();
    PlayerName* upper = blackBelow ? fWhitePanel : fBlackPanel;
    PlayerName* lower = blackBelow ? fBlackPanel : fWhitePanel;
    upper->move(kUpperPanel.topLeft() + QPoint(grown, 0));
    lower->move(kLowerPanel.topLeft() + QPoint(grown, grown));
    if (fAnnouncement != nullptr)
        fAnnouncement->move(upper->x(), upper->y() + 133 + grown / 2);
    fFlip->setGeometry(kLowerPanel.right() + 1 + grown - 60, kLowerPanel.bottom() + 5 + grown, 60,
                       22);
    const int chatTop = kChatTop + grown;
    const int statusHeight = fStatus->GetHeight();
    QRect chat(kChatMargin, chatTop, width() - 2 * kChatMargin,
               height() - 6 - statusHeight - chatTop);
    if (chat.height() < 0)
        chat.setHeight(0);
    fChatFrame->setGeometry(chat);
    fChat->setGeometry(fChatFrame->contentsRect());

    // Each clock by its panel, on the side that faces the other panel.
    const bool whiteAbove = fWhitePanel->y() < fBlackPanel->y();
    for (auto [clock, panel] : {std::pair{fWhiteClock, fWhitePanel}, {fBlackClock, fBlackPanel}}) {
        const QRect frame = panel->geometry();
        const bool above = (panel == fWhitePanel) == whiteAbove;
        clock->move(frame.right() + 1 - ClockDisplay::kWidth,
                    above ? frame.bottom() + 5 : frame.top() - 5 - ClockDisplay::kHeight);
    }
    if (fActions != nullptr)
        fActions->Place(whiteAbove ? fWhitePanel->geometry() : fBlackPanel->geometry(),
                        whiteAbove ? fBlackPanel->geometry() : fWhitePanel->geometry());
    // The move list keeps the right edge, down to the chat.
    if (fMoveList != nullptr)
        fMoveList->parentWidget()->setGeometry(width() - kMoveListWidth, kBoardTop,
                                               kMoveListWidth - 10, chatTop - 8 - kBoardTop);
}

// --- move list and PGN ---

void GameWindow::_AddMoveList()
{
    auto* column = new QWidget(fBackground);
    column->setObjectName("moveColumn");
    column->setAutoFillBackground(true);
    fMoveList = new MoveList(column);
    fMoveList->SetShowHandler([this](game* shown) { fBoard->ShowEarlier(shown); });
    auto* copy = new QPushButton("Copy PGN", column);
    auto* save = new QPushButton("Save PGN\u2026", column);
    for (QPushButton* button : {copy, save})
        button->setFocusPolicy(Qt::NoFocus);
    connect(copy, &QPushButton::clicked, this, [this] { CopyPgn(); });
    connect(save, &QPushButton::clicked, this, [this] { SavePgn(); });
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(3);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(fMoveList, 1);
    layout->addLayout(buttons);

    // The chat's entry passes the stepping keys on while it is empty: a
    // text cursor has nowhere to go there.
    fChat->Entry()->installEventFilter(this);
}

bool GameWindow::_StepKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
        fMoveList->StepBack();
        return true;
    case Qt::Key_Right:
        fMoveList->StepForward();
        return true;
    case Qt::Key_Home:
        fMoveList->ShowStart();
        return true;
    case Qt::Key_End:
        fMoveList->ShowGame();
        return true;
    default:
        return false;
    }
}

void GameWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier && _StepKey(event->key()))
        return;
    BWindow<QWidget, GameWindowBase>::keyPressEvent(event);
}

bool GameWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == fChat->Entry() &&
        fChat->Entry()->text().isEmpty()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && _StepKey(key->key()))
            return true;
    }
    return BWindow<QWidget, GameWindowBase>::eventFilter(watched, event);
}

void GameWindow::_SyncMoveList()
{
    // The record's last move changes with every move it applies (two plies
    // in a row never share a text), and stays when a move is refused.
    if (fMoveList == nullptr || fLastMoveListed == fGame->last_move)
        return;
    fLastMoveListed = fGame->last_move;
    fMoveList->AddMove(fLastMoveListed);
}

std::string GameWindow::Pgn() const
{
    PgnFacts facts = fFacts;
    if (!fReview) {
        facts.site = Speaker().Server();
        facts.white = fWhiteName;
        facts.black = fBlackName;
        facts.winner = fWhoIsWinner == "aborted" ? std::string() : fWhoIsWinner;
        facts.reason = fWinner;
    }
    return PgnText(facts, fMoveList->Moves());
}

void GameWindow::CopyPgn()
{
    QGuiApplication::clipboard()->setText(QString::fromStdString(Pgn()));
    SetStatus("The game is on the clipboard as PGN.");
}

void GameWindow::SavePgn()
{
    auto* dialog = new QFileDialog(this, "Save PGN");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter("PGN files (*.pgn)");
    dialog->setDefaultSuffix("pgn");
    const std::string name = (fWhiteName.empty() ? "game" : fWhiteName) + "-" +
                             (fBlackName.empty() ? "game" : fBlackName) + ".pgn";
    dialog->selectFile(PlayerName::PlainText(name));
    // The text as it is now: moves that come while the dialog is open wait
    // for the next save.
    const QByteArray text = QByteArray::fromStdString(Pgn());
    connect(dialog, &QFileDialog::fileSelected, this, [this, text](const QString& path) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(text) == text.size())
            SetStatus("The game is saved as " + path.toStdString() + ".");
        else
            SetStatus("The game could not be saved: " + file.errorString().toStdString());
    });
    dialog->open();
}

void GameWindow::resizeEvent(QResizeEvent* event)
{
    BWindow<QWidget, GameWindowBase>::resizeEvent(event);
    _LayOut();
}

// --- replay ---

namespace {

std::vector<std::string> SplitMoves(const std::string& moves)
{
    std::vector<std::string> list;
    std::string rest = moves;
    for (;;) {
        const size_t space = rest.find(' ');
        if (space == std::string::npos)
            break;
        if (space > 0)
            list.push_back(rest.substr(0, space));
        rest.erase(0, space + 1);
    }
    return list;
}

} // namespace

void GameWindow::_ReplayMoves(const std::string& moves, size_t from)
{
    std::vector<std::string> list = SplitMoves(moves);
    for (size_t i = from; i < list.size(); ++i) {
        char buffer[8] = {};
        std::strncpy(buffer, list[i].c_str(), 7);
        fBoard->MakeMove(buffer, i + 1 == list.size());
    }
}

void GameWindow::ConnectionLost()
{
    if (fGone)
        return;
    if (!fWinner.empty()) {
        // A finished game has nothing to come back to.
        GameGone("The connection to the server was closed; no more moves can be made here.");
        return;
    }
    fWaiting = true;
    _StopAway(false);
    // Nothing typed or pressed meanwhile could reach the server.
    fChat->SetEnabled(false);
    if (fActions != nullptr)
        fActions->SetWaiting(true);
    if (fBoard != nullptr && fBoard->IsChoosingPromotion())
        fBoard->AbandonPromotion();
    SetStatus("Connection lost \u2014 waiting to resume");
}

void GameWindow::Resume(const std::string& moves)
{
    if (!fWaiting)
        return;
    fWaiting = false;
    fChat->SetEnabled(HasBothPlayers());
    if (fActions != nullptr)
        fActions->SetWaiting(false);
    const size_t known = SplitMoves(moves).size();
    if (known + 1 == static_cast<size_t>(fPly) && fPlySent == fPly) {
        // The user's last move was lost with the connection: it goes again.
        Speaker().PostLine(ClientLines::Move(fGameID, fMoveSent));
        SetStatus("game resumed");
        return;
    }
    if (known < static_cast<size_t>(fPly)) {
        // A move made here never reached the server.
        GameGone("Game #" + fGameID +
                 " went on differently on the server; no more moves can be made here.");
        return;
    }
    _ReplayMoves(moves, static_cast<size_t>(fPly));
    SetStatus("game resumed");
}

void GameWindow::ResendMissed()
{
    if (!fWaiting)
        return;
    if (fObserving) {
        Speaker().PostLine(ClientLines::ObserveOn(fGameID));
        return;
    }
    fWaiting = false;
    GameGone("The server no longer knows game #" + fGameID + "; no more moves can be made here.");
}

// --- setters ---

void GameWindow::MakeMove(char* move, bool sound)
{
    fBoard->MakeMove(move, sound);
}

void GameWindow::SetStatus(const std::string& text)
{
    fStatus->SetMessage(text);
}

void GameWindow::SetWinner(const std::string& text)
{
    // The game is over: a promotion still being chosen can no longer be
    // played, so its dialog goes and the move is abandoned.
    if (fBoard != nullptr && fBoard->IsChoosingPromotion())
        fBoard->AbandonPromotion();
    fWinner = text;
    AnnounceWinner();
    _StopClocks();
    _StopAway(true);
    if (fActions != nullptr)
        fActions->Over();
}

void GameWindow::SetWhoIsWinner(const std::string& who)
{
    fWhoIsWinner = who;
    if (who == "black") {
        fBlackPanel->WinnerDeclared();
    } else if (who == "white") {
        fWhitePanel->WinnerDeclared();
    } else if (who == "draw" || who == "aborted") {
        fBlackPanel->WinnerDeclared();
        fWhitePanel->WinnerDeclared();
    }
}

void GameWindow::SetWhitePlayer(const std::string& name)
{
    fWhiteName = name;
    _PlayersChanged(name);
}

void GameWindow::SetBlackPlayer(const std::string& name)
{
    fBlackName = name;
    _PlayersChanged(name);
}

void GameWindow::GameGone(const std::string& why)
{
    fGone = true;
    // A promotion being chosen could no longer be sent.
    if (fBoard != nullptr && fBoard->IsChoosingPromotion())
        fBoard->AbandonPromotion();
    // Its number may come back as another game, which gets a window of its own.
    MyGames* games = MyGames::Instance();
    if (games->GetGameReference(fGameID) == this)
        games->RemoveGameReference(fGameID);
    _StopAway(false);
    SetStatus(why);
    _StopClocks();
    if (fActions != nullptr)
        fActions->Gone();
}

void GameWindow::SetClocks(int64 whiteMs, int64 blackMs, int32 running)
{
    // Figures that come after the end (a watcher's late lines) change nothing.
    if (!fWinner.empty() || fGone)
        return;
    fClock.Update(whiteMs, blackMs, running, std::chrono::steady_clock::now());
    fWhiteClock->show();
    fBlackClock->show();
    if (running >= 0)
        fClockTimer->start();
    else
        fClockTimer->stop();
    _TickClocks();
}

void GameWindow::DrawOfferChanged(int32 side, const std::string& what)
{
    if (fActions != nullptr)
        fActions->DrawOfferChanged(side, what);
}

void GameWindow::RematchChanged(int32 side, const std::string& what, const std::string& newId)
{
    if (fActions != nullptr)
        fActions->RematchChanged(side, what, newId);
}

void GameWindow::GameEnded(const std::string& reason, const std::string& who)
{
    if (fWinner.empty() && !reason.empty()) {
        if (!who.empty())
            SetWhoIsWinner(who);
        SetWinner(reason);
        if (who == "aborted")
            SoundSystem::Instance()->PlayGameAborted();
    }
    _StopClocks();
    if (fActions != nullptr)
        fActions->Over();
}

void GameWindow::PlayerAway(const std::string& name, int32 seconds)
{
    if (fGone || !fWinner.empty())
        return;
    if (seconds < 0) {
        _StopAway(false);
        SetStatus(name + " is back");
        return;
    }
    if (!fAwayTimer->isActive())
        fStatusBeforeAway = fStatus->Message();
    fAwayName = name;
    fAwayUntil = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    fAwayTimer->start();
    _TickAway();
}

void GameWindow::_TickAway()
{
    using namespace std::chrono;
    // Rounded up: the first tick shows the full time.
    const auto left = duration_cast<milliseconds>(fAwayUntil - steady_clock::now()).count();
    const long long seconds = std::max<long long>(0, (left + 999) / 1000);
    if (seconds == 0) {
        fAwayTimer->stop();
        SetStatus(fAwayName + " lost the connection; the time to return is up");
        return;
    }
    const std::string text =
        fAwayName + " lost the connection; " + std::to_string(seconds) + " s to return";
    if (fStatus->Message() != text)
        SetStatus(text);
}

void GameWindow::_StopAway(bool restore)
{
    if (fAwayName.empty())
        return;
    fAwayTimer->stop();
    fAwayName.clear();
    if (restore)
        SetStatus(fStatusBeforeAway);
}

void GameWindow::_TickClocks()
{
    fWhiteClock->update();
    fBlackClock->update();
    if (fObserving || fLowTimeHeard || fClock.Running() != fColour)
        return;
    if (fClock.Shown(fColour, std::chrono::steady_clock::now()) < ClockDisplay::kLowTime) {
        fLowTimeHeard = true;
        SoundSystem::Instance()->PlayLowTime();
    }
}

void GameWindow::_StopClocks()
{
    fClock.Stop(std::chrono::steady_clock::now());
    fClockTimer->stop();
    fWhiteClock->update();
    fBlackClock->update();
}

void GameWindow::_PlayersChanged(const std::string& name)
{
    _UpdateWindowTitle();
    if (name != Speaker().LoggedInAs())
        fChat->SetGameID(fGameID);
    if (!fWhiteName.empty() && !fBlackName.empty()) {
        fChat->SetEnabled(true);
        if (fActions != nullptr && !fActions->IsRunning() && fWinner.empty() && !fGone)
            fActions->Started();
        if (!fObserving && SoundSystem::SoundsOn())
            kit::Sound().PlayEvent("Tolvar Game Started");
    }
}

void GameWindow::FlipBoard()
{
    fBoard->Flip();
    const QPoint black = fBlackPanel->pos();
    fBlackPanel->move(fWhitePanel->pos());
    fWhitePanel->move(black);
    // The clocks and buttons follow the panels.
    _LayOut();
}

void GameWindow::SendMove(const std::string& move, bool applied)
{
    if (applied) {
        fMoveSent = move;
        fPlySent = fPly;
    }
    Speaker().PostLine(ClientLines::Move(fGameID, move));
}

void GameWindow::AlternateTurn()
{
    ++fPly;
    if (fActions != nullptr)
        fActions->MovePlayed(fTurn);
    fTurn = fTurn == CGC_BLACK ? CGC_WHITE : CGC_BLACK;
}

void GameWindow::MoveMade()
{
    _SyncMoveList();
    fBlackPanel->update();
    fWhitePanel->update();
}

void GameWindow::PromotionEnded()
{
    if (!fCloseAfterPromotion)
        return;
    fCloseAfterPromotion = false;
    // Closed from the outer loop, once the board's move has unwound.
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

// --- queries ---

std::string GameWindow::NameTurn() const
{
    return fTurn == CGC_BLACK ? "black" : "white";
}

bool GameWindow::IsUserPlaying(const std::string& name) const
{
    return name == fBlackName || name == fWhiteName;
}

int32 GameWindow::BlackStrength() const
{
    return fBoard->BlackStrength();
}

int32 GameWindow::WhiteStrength() const
{
    return fBoard->WhiteStrength();
}

// --- private ---

void GameWindow::AnnounceWinner()
{
    const QString text = QString::fromStdString(fWinner);
    // A later result replaces the banner's text: a second label at the same
    // place would draw over the first unreadably.
    if (fAnnouncement != nullptr) {
        fAnnouncement->SetText(text);
        return;
    }
    // Between the two panels: the upper one's frame moved down by 133 pixels.
    PlayerName* upper = fWhitePanel->geometry().bottom() < fBlackPanel->geometry().bottom()
                            ? fWhitePanel
                            : fBlackPanel;
    const int grown = 8 * fBoard->CellSize() - ChessView::kBoardSize;
    const QRect frame(upper->x(), upper->y() + 133 + grown / 2, upper->width(), 21);
    fAnnouncement = new BubbleView(frame, "announcement", text, QColor(0, 0, 255),
                                   QColor(255, 255, 255), fBackground);
    fAnnouncement->SetAlignment(Qt::AlignCenter);
    fAnnouncement->show();
}

void GameWindow::_UpdateWindowTitle()
{
    QString title;
    if (fWhiteName.empty() || fBlackName.empty())
        title = "Awaiting Opponent";
    else
        title = PlayerName::PlainText(fWhiteName + " v. " + fBlackName);
    // "[*]" in a title is Qt's modified-marker placeholder; doubled it is
    // shown as written.
    title.replace("[*]", "[*][*]");
    setWindowTitle(title);
    fWhitePanel->SetText(fWhiteName.empty() ? "...waiting..." : fWhiteName);
    fBlackPanel->SetText(fBlackName.empty() ? "...waiting..." : fBlackName);
}

// --- messages and closing ---

void GameWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_GAME_CHAT: {
        std::string gameId;
        if (!message->FindString("game_id", &gameId) || gameId != fGameID)
            return;
        fChat->ReceivedMessage(message->GetString("user"), "", message->GetString("message"));
        break;
    }
    case MSG_SKIN_CHANGED:
        fBoard->ResetSkin();
        break;
    case MSG_BOARD_FORWARD:
        fBoard->MessageReceived(message);
        break;
    case MSG_CONNECTION_LOST:
        ConnectionLost();
        break;
    case MSG_CONNECTION_RESET: {
        // A reset from before this window was made is not about its game.
        int32 resets = 0;
        if (!fGone && message->FindInt32("resets", &resets) && resets > fResetsAtStart)
            GameGone("The connection to the server was closed; no more moves can be made here.");
        break;
    }
    default:
        break;
    }
}

QLineEdit* GameWindow::ChatEntry() const
{
    return fChat->Entry();
}

bool GameWindow::QuitRequested()
{
    // The next game window opens at this one's size.
    UserSettings* settings = UserSettings::Instance();
    const QSize size = isMaximized() || isFullScreen() ? normalGeometry().size() : this->size();
    settings->SetData(kWidthKey, std::to_string(size.width()));
    settings->SetData(kHeightKey, std::to_string(size.height()));
    settings->WriteToFile();
    MyGames* games = MyGames::Instance();
    if (games->GetGameReference(fGameID) == this)
        games->RemoveGameReference(fGameID);
    // A game that has gone is no longer this window's to end: its number
    // may by now be another game's.
    if (!fGone)
        Speaker().PostLine(fObserving ? ClientLines::ObserveOff(fGameID)
                                      : ClientLines::Abort(fGameID));
    return true;
}

void GameWindow::Quit()
{
    fCloseWithoutAsking = true;
    BWindow<QWidget, GameWindowBase>::Quit();
}

void GameWindow::closeEvent(QCloseEvent* event)
{
    // Leaving a game under way would lose it: the player is asked to
    // resign instead, and the window closes once they have.
    if (!fCloseWithoutAsking && fActions != nullptr && fActions->LeavingLoses()) {
        event->ignore();
        fActions->AskToResign([this] {
            fCloseWithoutAsking = true;
            close();
        });
        return;
    }
    // The board waits in the promotion dialog's loop: give up that move
    // first, and close once the board has returned from it.
    if (fBoard != nullptr && fBoard->IsChoosingPromotion()) {
        fCloseAfterPromotion = true;
        fBoard->AbandonPromotion();
        event->ignore();
        return;
    }
    BWindow<QWidget, GameWindowBase>::closeEvent(event);
}
