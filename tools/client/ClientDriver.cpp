#include "ClientDriver.h"

#include "Recorders.h"
#include "cgc/cgc.h"
#include "game/ChessView.h"
#include "game/ChooseColorWindow.h"
#include "game/ChoosePromotionWindow.h"
#include "game/ClockDisplay.h"
#include "game/GameActions.h"
#include "game/GameWindow.h"
#include "game/MoveList.h"
#include "game/PlayerName.h"
#include "lobby/ArchiveWindow.h"
#include "lobby/BrowserWindow.h"
#include "lobby/GameList.h"
#include "lobby/GameListItem.h"
#include "lobby/LoginWindow.h"
#include "lobby/PeopleList.h"
#include "lobby/PeopleListItem.h"
#include "net/TolvarSpeak.h"
#include "widgets/BitmapButton.h"
#include "widgets/BubbleView.h"
#include "widgets/StatusView.h"
#include "widgets/UserPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Commands come from a test; a line this long is not one of them.
constexpr size_t kMaxPending = 1 << 20;

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

// The text after the first `count` blank-separated words, as typed.
std::string After(const std::string& line, size_t count)
{
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string::npos)
            return {};
        at = line.find(' ', at);
        if (at == std::string::npos)
            return {};
    }
    return at + 1 <= line.size() ? line.substr(at + 1) : std::string();
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QJsonArray Lines(const QPlainTextEdit* log)
{
    QJsonArray lines;
    const QString text = log->toPlainText();
    if (text.isEmpty())
        return lines;
    for (const QString& line : text.split('\n'))
        lines.append(line);
    return lines;
}

template <class Window> std::vector<Window*> VisibleWindows()
{
    std::vector<Window*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = dynamic_cast<Window*>(widget);
        if (window != nullptr && window->isVisible())
            found.push_back(window);
    }
    return found;
}

BrowserWindow* Lobby()
{
    return BrowserWindow::WasClosed() ? nullptr : BrowserWindow::Instance();
}

std::string BoardText(game* record)
{
    char text[CGC_BOARD_TEXT_LENGTH + 1] = {};
    cgc_getboard(record, text);
    return text;
}

// The centre of `square` (such as "E2") on a board seen from `colour`'s side.
bool SquareCentre(const std::string& square, const ChessView* board, QPoint* centre)
{
    if (square.size() != 2)
        return false;
    const int file = std::toupper(static_cast<unsigned char>(square[0])) - 'A';
    const int rank = square[1] - '1';
    if (file < 0 || file > 7 || rank < 0 || rank > 7)
        return false;
    int column = file;
    int row = 7 - rank;
    if ((board->Color() == CGC_BLACK) != board->IsFlipped()) {
        column = 7 - file;
        row = rank;
    }
    const int cell = board->CellSize();
    *centre = QPoint(column * cell + cell / 2, row * cell + cell / 2);
    return true;
}

QJsonObject Memory()
{
    QJsonObject memory;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string key;
        long long kib = 0;
        fields >> key >> kib;
        if (key == "VmHWM:")
            memory["hwmKiB"] = kib;
        else if (key == "VmRSS:")
            memory["rssKiB"] = kib;
    }
    return memory;
}

} // namespace

ClientDriver::ClientDriver(int replyFd, std::shared_ptr<RecordingSound> sounds,
                           AlertRecorder* alerts)
    : fReplyFd(replyFd), fSounds(std::move(sounds)), fAlerts(alerts)
{
    qApp->installEventFilter(this);
}

ClientDriver::~ClientDriver() = default;

void ClientDriver::Start()
{
    fInput = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(fInput, &QSocketNotifier::activated, this, [this] { _ReadInput(); });
}

void ClientDriver::_ReadInput()
{
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        // The driving side has gone; so has every reason to go on.
        std::fflush(stdout);
        std::_Exit(0);
    }
    fPending.append(buffer, static_cast<size_t>(count));
    for (;;) {
        const size_t end = fPending.find('\n');
        if (end == std::string::npos)
            break;
        std::string line = fPending.substr(0, end);
        fPending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // Each command runs from the event loop on its own: one that enters
        // a dialog's loop leaves the next ones to run inside that loop.
        QTimer::singleShot(0, this, [this, line] { _Run(line); });
    }
    if (fPending.size() > kMaxPending)
        fPending.clear();
}

void ClientDriver::_Reply(QJsonObject reply)
{
    if (!reply.contains("ok"))
        reply["ok"] = true;
    QByteArray text = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    text.append('\n');
    const char* data = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fReplyFd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        left -= written;
    }
}

void ClientDriver::_Fail(const std::string& error)
{
    QJsonObject reply;
    reply["ok"] = false;
    reply["error"] = Q(error);
    _Reply(reply);
}

void ClientDriver::_Run(const std::string& line)
{
    const std::vector<std::string> words = Words(line);
    if (words.empty())
        return _Fail("empty command");
    const std::string& command = words[0];
    if (command == "state")
        return _Reply({{"state", _State(words.size() > 1 && words[1] == "brief")}});
    if (command == "login" || command == "create-account")
        return _Login(words, After(line, 2), command == "create-account");
    if (command == "click")
        return _Click(words);
    if (command == "cut")
        return _Cut();
    if (command == "select")
        return _Select(words);
    if (command == "choose-colour")
        return _ChooseColour(words, After(line, 2));
    if (command == "move")
        return _ClickMove(words);
    if (command == "drag")
        return _Drag(words);
    if (command == "promote")
        return _Promote(words);
    if (command == "say")
        return _Say(std::string(), After(line, 1));
    if (command == "game-say" && words.size() >= 2)
        return _Say(words[1], After(line, 2));
    if (command == "close-game")
        return _CloseGame(words);
    if (command == "logout")
        return _MenuItem(QStringLiteral("Logout"));
    if (command == "quit")
        return _MenuItem(QStringLiteral("Quit"));
    if (command == "press-alert") {
        QAbstractButton* button = fAlerts->NewestButton();
        if (button == nullptr)
            return _Fail("no alert is shown");
        _Reply({});
        QTest::mouseClick(button, Qt::LeftButton);
        return;
    }
    if (command == "grab")
        return _Grab(words);
    if (command == "watch-fill")
        return _WatchFill(words);
    if (command == "step")
        return _Step(words);
    if (command == "copy-pgn")
        return _CopyPgn(words);
    if (command == "my-games")
        return _MenuItem(QString::fromUtf8("My Games\u2026"));
    if (command == "open-archived")
        return _OpenArchived(words);
    if (command == "paints")
        return _Paints(words);
    if (command == "time-control")
        return _TimeControl(words);
    if (command == "game-button")
        return _GameButton(words);
    if (command == "answer")
        return _Answer(words);
    if (command == "clock-paints")
        return _ClockPaints(words);
    _Fail("unknown command " + command);
}

// --- actions ---

void ClientDriver::_Login(const std::vector<std::string>& words, const std::string& password,
                          bool create)
{
    if (words.size() < 3)
        return _Fail("usage: login|create-account USER PASSWORD");
    std::vector<LoginWindow*> logins = VisibleWindows<LoginWindow>();
    if (logins.empty())
        return _Fail("no login window is shown");
    LoginWindow* login = logins.back();
    login->UserField()->clear();
    QTest::keyClicks(login->UserField(), Q(words[1]));
    login->PasswordField()->clear();
    QTest::keyClicks(login->PasswordField(), Q(password));
    if (login->CreateBox()->isChecked() != create)
        login->CreateBox()->click();
    _Reply({});
    fLoginPressedAt = MonotonicMicros();
    QTest::mouseClick(login->LogInButton(), Qt::LeftButton);
}

void ClientDriver::_Click(const std::vector<std::string>& words)
{
    BrowserWindow* lobby = Lobby();
    if (lobby == nullptr || words.size() < 2)
        return _Fail("usage: click create|join|watch");
    if (words[1] == "stop-trying") {
        if (!lobby->StopTryingButton()->isVisible())
            return _Fail("no attempts to stop");
        _Reply({});
        lobby->StopTryingButton()->click();
        return;
    }
    BitmapButton* button = nullptr;
    if (words[1] == "create")
        button = lobby->CreateButton();
    else if (words[1] == "join")
        button = lobby->JoinButton();
    else if (words[1] == "watch")
        button = lobby->WatchButton();
    if (button == nullptr)
        return _Fail("no button " + words[1]);
    if (!button->isEnabled())
        return _Fail("the " + words[1] + " button is disabled");
    _Reply({});
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
}

void ClientDriver::_Cut()
{
    // The speaker's socket is the one TCP connection to the server's port;
    // shutting it down ends its listener's read as a dropped link would.
    int cut = 0;
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == TolvarSpeak::ServerPort() &&
            ::shutdown(fd, SHUT_RDWR) == 0)
            ++cut;
    }
    if (cut == 0)
        return _Fail("no connection to cut");
    _Reply({});
}

void ClientDriver::_Select(const std::vector<std::string>& words)
{
    BrowserWindow* lobby = Lobby();
    if (lobby == nullptr || words.size() < 2)
        return _Fail("usage: select GAME");
    GameList* games = lobby->Games();
    for (int i = 0; i < games->CountItems(); ++i) {
        if (games->GameAt(i)->GameID() == words[1]) {
            _Reply({});
            games->Select(i);
            return;
        }
    }
    _Fail("no game " + words[1] + " in the lobby");
}

void ClientDriver::_ChooseColour(const std::vector<std::string>& words,
                                 const std::string& description)
{
    if (words.size() < 2 || (words[1] != "white" && words[1] != "black"))
        return _Fail("usage: choose-colour white|black [DESCRIPTION]");
    std::vector<ChooseColorWindow*> dialogs = VisibleWindows<ChooseColorWindow>();
    if (dialogs.empty())
        return _Fail("the game creation dialog is not shown");
    ChooseColorWindow* dialog = dialogs.back();
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("description"));
    auto* rook = dialog->findChild<QAbstractButton*>(Q(words[1] + "-rook"));
    if (field == nullptr || rook == nullptr)
        return _Fail("the game creation dialog lacks its controls");
    field->clear();
    QTest::keyClicks(field, Q(description));
    _Reply({});
    QTest::mouseClick(rook, Qt::LeftButton, {}, QPoint(20, 20));
}

bool ClientDriver::_BoardAndSquares(const std::vector<std::string>& words, const char* usage,
                                    ChessView** board, QPoint* from, QPoint* to)
{
    if (words.size() < 4) {
        _Fail(usage);
        return false;
    }
    GameWindow* window = _FindGame(words[1]);
    if (window == nullptr) {
        _Fail("no window for game " + words[1]);
        return false;
    }
    *board = window->Board();
    if (!SquareCentre(words[2], *board, from) || !SquareCentre(words[3], *board, to)) {
        _Fail("squares are written A1 to H8");
        return false;
    }
    return true;
}

void ClientDriver::_Drag(const std::vector<std::string>& words)
{
    ChessView* board = nullptr;
    QPoint from, to;
    if (!_BoardAndSquares(words, "usage: drag GAME FROM TO", &board, &from, &to))
        return;
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(board, (from + to) / 2);
    QTest::mouseMove(board, to);
    QJsonObject reply;
    reply["picked"] = board->DragBox() != -1;
    const long long dropAt = MonotonicMicros();
    reply["dropAt"] = static_cast<qint64>(dropAt);
    _Reply(reply);
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, to);
}

void ClientDriver::_ClickMove(const std::vector<std::string>& words)
{
    ChessView* board = nullptr;
    QPoint from, to;
    if (!_BoardAndSquares(words, "usage: move GAME FROM TO", &board, &from, &to))
        return;
    QTest::mouseClick(board, Qt::LeftButton, Qt::NoModifier, from);
    QJsonObject reply;
    reply["picked"] = board->HasPickedUp();
    _Reply(reply);
    QTest::mouseClick(board, Qt::LeftButton, Qt::NoModifier, to);
}

void ClientDriver::_Promote(const std::vector<std::string>& words)
{
    static const char* const kPieces[] = {"queen", "rook", "bishop", "knight"};
    if (words.size() < 2 ||
        std::find(std::begin(kPieces), std::end(kPieces), words[1]) == std::end(kPieces))
        return _Fail("usage: promote queen|rook|bishop|knight");
    std::vector<ChoosePromotionWindow*> dialogs = VisibleWindows<ChoosePromotionWindow>();
    if (dialogs.empty())
        return _Fail("the promotion dialog is not shown");
    auto* button = dialogs.back()->findChild<QAbstractButton*>(Q(words[1]));
    if (button == nullptr)
        return _Fail("the promotion dialog has no " + words[1]);
    _Reply({});
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 20));
}

void ClientDriver::_Say(const std::string& gameId, const std::string& text)
{
    UserPanel* chat = nullptr;
    if (gameId.empty()) {
        if (BrowserWindow* lobby = Lobby())
            chat = lobby->Chat();
    } else if (GameWindow* window = _FindGame(gameId)) {
        chat = window->Chat();
    }
    if (chat == nullptr)
        return _Fail("no such chat");
    if (!chat->IsEnabled())
        return _Fail("the chat is disabled");
    chat->Entry()->clear();
    QTest::keyClicks(chat->Entry(), Q(text));
    _Reply({});
    QTest::keyClick(chat->Entry(), Qt::Key_Return);
}

void ClientDriver::_CloseGame(const std::vector<std::string>& words)
{
    GameWindow* window = words.size() > 1 ? _FindGame(words[1]) : nullptr;
    if (window == nullptr)
        return _Fail("no such game window");
    _Reply({});
    window->close();
}

void ClientDriver::_TimeControl(const std::vector<std::string>& words)
{
    std::vector<ChooseColorWindow*> dialogs = VisibleWindows<ChooseColorWindow>();
    auto* box = dialogs.empty()
                    ? nullptr
                    : dialogs.back()->findChild<QComboBox*>(QStringLiteral("time-control"));
    if (box == nullptr)
        return _Fail("no time control is offered");
    const int index = words.size() > 1 ? box->findText(Q(words[1])) : -1;
    if (index < 0)
        return _Fail("usage: time-control LABEL");
    box->setCurrentIndex(index);
    _Reply({});
}

void ClientDriver::_GameButton(const std::vector<std::string>& words)
{
    GameWindow* window = words.size() > 2 ? _FindGame(words[1]) : nullptr;
    if (window == nullptr || window->Actions() == nullptr)
        return _Fail("no such game window with buttons");
    QPushButton* button = window->Actions()->Button(Q(words[2]));
    if (button == nullptr || !button->isVisible() || !button->isEnabled())
        return _Fail("the button " + words[2] + " is not there to press");
    _Reply({});
    QTest::mouseClick(button, Qt::LeftButton);
}

void ClientDriver::_Answer(const std::vector<std::string>& words)
{
    GameWindow* window = words.size() > 2 ? _FindGame(words[1]) : nullptr;
    QMessageBox* question =
        window != nullptr && window->Actions() != nullptr ? window->Actions()->Question() : nullptr;
    if (question == nullptr)
        return _Fail("no question is asked");
    QAbstractButton* button =
        question->button(words[2] == "yes" ? QMessageBox::Yes : QMessageBox::No);
    _Reply({});
    QTest::mouseClick(button, Qt::LeftButton);
}

void ClientDriver::_ClockPaints(const std::vector<std::string>& words)
{
    QJsonArray paints;
    auto found = words.size() > 1 ? fClockPaints.find(words[1]) : fClockPaints.end();
    if (found != fClockPaints.end()) {
        for (const ClockPaint& paint : found->second)
            paints.append(QJsonObject{{"side", paint.side == CGC_WHITE ? "white" : "black"},
                                      {"shown", paint.shown},
                                      {"figure", paint.figure},
                                      {"updatedAt", paint.updatedAt},
                                      {"at", paint.micros}});
    }
    _Reply({{"paints", paints}});
}

void ClientDriver::_MenuItem(const QString& title)
{
    BrowserWindow* lobby = Lobby();
    if (lobby == nullptr)
        return _Fail("the lobby has closed");
    for (QAction* menu : lobby->MenuBar()->actions()) {
        if (menu->menu() == nullptr)
            continue;
        for (QAction* item : menu->menu()->actions()) {
            if (item->text() == title) {
                _Reply({});
                item->trigger();
                return;
            }
        }
    }
    _Fail("no menu item " + title.toStdString());
}

void ClientDriver::_Grab(const std::vector<std::string>& words)
{
    QWidget* window = nullptr;
    std::string path;
    if (words.size() == 3 && words[1] == "lobby") {
        window = Lobby();
        path = words[2];
    } else if (words.size() == 3 && words[1] == "login") {
        std::vector<LoginWindow*> logins = VisibleWindows<LoginWindow>();
        window = logins.empty() ? nullptr : logins.back();
        path = words[2];
    } else if (words.size() == 3 && words[1] == "archive") {
        std::vector<ArchiveWindow*> archives = VisibleWindows<ArchiveWindow>();
        window = archives.empty() ? nullptr : archives.back();
        path = words[2];
    } else if (words.size() == 4 && words[1] == "game") {
        window = _FindGame(words[2]);
        path = words[3];
    } else {
        return _Fail("usage: grab lobby|login|game GAME PATH");
    }
    if (window == nullptr)
        return _Fail("no such window");
    if (!window->grab().save(Q(path), "PNG"))
        return _Fail("cannot write " + path);
    _Reply({{"path", Q(path)}});
}

void ClientDriver::_Step(const std::vector<std::string>& words)
{
    GameWindow* window = words.size() == 3 ? _FindGame(words[1]) : nullptr;
    if (window == nullptr)
        return _Fail("usage: step GAME back|forward|home|end|PLY");
    MoveList* moves = window->Moves();
    const std::string& how = words[2];
    if (how == "back")
        moves->StepBack();
    else if (how == "forward")
        moves->StepForward();
    else if (how == "home")
        moves->ShowStart();
    else if (how == "end")
        moves->ShowGame();
    else
        moves->ShowPly(std::atoi(how.c_str()));
    _Reply({{"shown", moves->Shown()}});
}

void ClientDriver::_CopyPgn(const std::vector<std::string>& words)
{
    GameWindow* window = words.size() == 2 ? _FindGame(words[1]) : nullptr;
    if (window == nullptr)
        return _Fail("usage: copy-pgn GAME");
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == "Copy PGN") {
            QTest::mouseClick(button, Qt::LeftButton);
            return _Reply({{"pgn", QGuiApplication::clipboard()->text()}});
        }
    }
    _Fail("no Copy PGN button");
}

void ClientDriver::_OpenArchived(const std::vector<std::string>& words)
{
    std::vector<ArchiveWindow*> archives = VisibleWindows<ArchiveWindow>();
    const int row = words.size() == 2 ? std::atoi(words[1].c_str()) : -1;
    QTreeWidget* list = archives.empty() ? nullptr : archives.back()->List();
    QTreeWidgetItem* item = list != nullptr ? list->topLevelItem(row) : nullptr;
    if (item == nullptr)
        return _Fail("no such archived game");
    list->scrollToItem(item);
    _Reply({});
    // A double click as a user makes it: the first click, then the second.
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// --- measurements ---

void ClientDriver::_WatchFill(const std::vector<std::string>& words)
{
    if (words.size() < 3)
        return _Fail("usage: watch-fill GAMES PLAYERS");
    fFillGames = std::atoi(words[1].c_str());
    fFillPlayers = std::atoi(words[2].c_str());
    fFilledAt = 0;
    if (fFillTimer == nullptr) {
        fFillTimer = new QTimer(this);
        connect(fFillTimer, &QTimer::timeout, this, [this] { _CheckFill(); });
    }
    fFillTimer->start(2);
    _Reply({});
}

void ClientDriver::_CheckFill()
{
    BrowserWindow* lobby = Lobby();
    if (lobby == nullptr || lobby->Games()->CountItems() < fFillGames ||
        lobby->People()->CountItems() < fFillPlayers)
        return;
    fFilledAt = MonotonicMicros();
    fFillTimer->stop();
}

void ClientDriver::_Paints(const std::vector<std::string>& words)
{
    if (words.size() < 2)
        return _Fail("usage: paints GAME");
    QJsonArray paints;
    auto found = fPaints.find(words[1]);
    if (found != fPaints.end()) {
        for (const Paint& paint : found->second)
            paints.append(
                QJsonObject{{"board", Q(paint.board)}, {"at", static_cast<qint64>(paint.micros)}});
    }
    _Reply({{"paints", paints}});
}

bool ClientDriver::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (fLoginShownAt == 0 && dynamic_cast<LoginWindow*>(widget->window()) != nullptr)
        fLoginShownAt = MonotonicMicros();
    if (auto* display = dynamic_cast<ClockDisplay*>(widget)) {
        auto* window = dynamic_cast<GameWindow*>(widget->window());
        const GameClock& clock = display->Clock();
        if (window != nullptr && clock.IsTimed()) {
            // The first drawing of each clock after each figure.
            const long long updatedAt = std::chrono::duration_cast<std::chrono::microseconds>(
                                            clock.UpdatedAt().time_since_epoch())
                                            .count();
            std::vector<ClockPaint>& paints = fClockPaints[window->GameID()];
            bool seen = false;
            for (auto it = paints.rbegin(); it != paints.rend() && it->updatedAt == updatedAt; ++it)
                seen = seen || it->side == display->Side();
            if (!seen)
                paints.push_back({display->Side(),
                                  static_cast<long long>(display->Clock().Shown(
                                      display->Side(), std::chrono::steady_clock::now())),
                                  static_cast<long long>(clock.Figure(display->Side())), updatedAt,
                                  MonotonicMicros()});
        }
    }
    if (auto* board = dynamic_cast<ChessView*>(widget)) {
        if (GameWindow* window = board->GameInfo()) {
            std::vector<Paint>& paints = fPaints[window->GameID()];
            std::string text = BoardText(window->Game());
            if (paints.empty() || paints.back().board != text)
                paints.push_back({std::move(text), MonotonicMicros()});
        }
    }
    return false;
}

// --- what the user sees ---

GameWindow* ClientDriver::_FindGame(const std::string& gameId)
{
    for (GameWindow* window : VisibleWindows<GameWindow>())
        if (window->GameID() == gameId)
            return window;
    return nullptr;
}

QJsonObject ClientDriver::_State(bool brief) const
{
    QJsonObject state;
    state["user"] = Q(TolvarSpeak::Instance()->LoggedInAs());
    state["lobby"] = _LobbyState(brief);

    QJsonArray logins;
    for (LoginWindow* login : VisibleWindows<LoginWindow>())
        logins.append(QJsonObject{{"user", login->UserField()->text()},
                                  {"server", login->ServerField()->text()},
                                  {"create", login->CreateBox()->isChecked()}});
    state["logins"] = logins;
    state["chooseColour"] = !VisibleWindows<ChooseColorWindow>().empty();
    state["promotion"] = !VisibleWindows<ChoosePromotionWindow>().empty();

    std::vector<GameWindow*> windows = VisibleWindows<GameWindow>();
    std::sort(windows.begin(), windows.end(), [](GameWindow* a, GameWindow* b) {
        return std::atoi(a->GameID().c_str()) < std::atoi(b->GameID().c_str());
    });
    QJsonArray games;
    for (GameWindow* window : windows)
        games.append(_GameState(window, brief));
    state["games"] = games;

    QJsonArray archives;
    for (ArchiveWindow* archive : VisibleWindows<ArchiveWindow>()) {
        QJsonArray rows;
        QTreeWidget* list = archive->List();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QJsonArray cells;
            for (int column = 0; column < list->columnCount(); ++column)
                cells.append(list->topLevelItem(i)->text(column));
            rows.append(cells);
        }
        archives.append(QJsonObject{{"title", archive->windowTitle()},
                                    {"page", archive->Page()},
                                    {"pages", archive->Pages()},
                                    {"loadMs", archive->LastLoadMs()},
                                    {"rows", rows}});
    }
    state["archives"] = archives;

    QJsonArray alerts;
    for (const AlertRecorder::Alert& alert : fAlerts->Alerts())
        alerts.append(QJsonObject{
            {"text", Q(alert.text)}, {"button", Q(alert.button)}, {"open", alert.open}});
    state["alerts"] = alerts;
    QJsonArray sounds;
    for (const std::string& sound : fSounds->Played())
        sounds.append(Q(sound));
    state["sounds"] = sounds;

    state["times"] = QJsonObject{{"loginShown", static_cast<qint64>(fLoginShownAt)},
                                 {"loginPressed", static_cast<qint64>(fLoginPressedAt)},
                                 {"lobbyFilled", static_cast<qint64>(fFilledAt)}};
    state["memory"] = Memory();
    return state;
}

QJsonObject ClientDriver::_LobbyState(bool brief) const
{
    QJsonObject state;
    BrowserWindow* lobby = Lobby();
    if (lobby == nullptr)
        return state;
    state["visible"] = lobby->isVisible();
    state["title"] = lobby->windowTitle();
    state["status"] = Q(lobby->Status()->Message());
    state["createEnabled"] = lobby->CreateButton()->isEnabled();
    state["joinEnabled"] = lobby->JoinButton()->isEnabled();
    state["watchEnabled"] = lobby->WatchButton()->isEnabled();
    state["stopTrying"] = lobby->StopTryingButton()->isVisible();
    state["chatEnabled"] = lobby->Chat()->IsEnabled();
    state["gameCount"] = lobby->Games()->CountItems();
    state["playerCount"] = lobby->People()->CountItems();
    GameListItem* selected = lobby->Games()->SelectedGame();
    state["selected"] = selected != nullptr ? Q(selected->GameID()) : QString();
    if (brief)
        return state;

    QJsonArray games;
    for (int i = 0; i < lobby->Games()->CountItems(); ++i) {
        const GameListItem* row = lobby->Games()->GameAt(i);
        games.append(QJsonObject{{"id", Q(row->GameID())},
                                 {"white", Q(row->WhitePlayer())},
                                 {"black", Q(row->BlackPlayer())},
                                 {"description", Q(row->Description())},
                                 {"time", Q(row->TimeControl())}});
    }
    state["games"] = games;
    QJsonArray players;
    for (int i = 0; i < lobby->People()->CountItems(); ++i) {
        const PeopleListItem* row = lobby->People()->PersonAt(i);
        players.append(QJsonObject{{"name", Q(row->User())}, {"rating", Q(row->Rating())}});
    }
    state["players"] = players;
    state["chat"] = Lines(lobby->Chat()->Log());
    return state;
}

QJsonObject ClientDriver::_GameState(GameWindow* window, bool brief) const
{
    auto panel = [](const PlayerName* name, int32 strength) {
        return QJsonObject{{"text", Q(name->Text())},
                           {"strength", static_cast<int>(strength)},
                           {"blinking", name->IsBlinking()}};
    };
    const int32 colour = window->Board()->Color();
    QJsonObject state;
    state["id"] = Q(window->GameID());
    state["title"] = window->windowTitle();
    state["observing"] = window->IsObserving();
    state["colour"] = colour == CGC_WHITE ? "white" : colour == CGC_BLACK ? "black" : "observer";
    state["board"] = Q(BoardText(window->Game()));
    state["turn"] = Q(window->NameTurn());
    state["winner"] = Q(window->Winner());
    state["whoIsWinner"] = Q(window->WhoIsWinner());
    state["banner"] =
        window->Announcement() != nullptr ? window->Announcement()->Text() : QString();
    state["status"] = Q(window->Status()->Message());
    state["white"] = panel(window->WhitePanel(), window->WhiteStrength());
    state["black"] = panel(window->BlackPanel(), window->BlackStrength());
    state["chatEnabled"] = window->Chat()->IsEnabled();
    state["premove"] = Q(window->Board()->Premove());
    state["lastFrom"] = static_cast<int>(window->Board()->LastFrom());
    state["lastTo"] = static_cast<int>(window->Board()->LastTo());
    state["review"] = window->IsReview();
    QJsonArray sans;
    for (const std::string& san : window->Moves()->Sans())
        sans.append(Q(san));
    state["moves"] = sans;
    state["shown"] = window->Moves()->Shown();
    state["stepping"] =
        window->Moves()->Marker()->isVisible() ? window->Moves()->Marker()->text() : QString();
    state["shownBoard"] = Q(window->Board()->IsShowingEarlier() ? "earlier" : "game");
    if (window->WhiteClock()->isVisible()) {
        auto clock = [](const ClockDisplay* display) {
            return QJsonObject{{"text", display->Text()},
                               {"running", display->IsRunning()},
                               {"low", display->IsLow()}};
        };
        state["whiteClock"] = clock(window->WhiteClock());
        state["blackClock"] = clock(window->BlackClock());
    }
    if (GameActions* actions = window->Actions()) {
        QJsonArray buttons;
        for (const char* name : {"resign", "draw", "abort", "accept", "decline", "rematch"}) {
            QPushButton* button = actions->Button(name);
            if (button->isVisible())
                buttons.append(button->isEnabled() ? QString(name) : QString(name) + "-off");
        }
        state["buttons"] = buttons;
        state["note"] = actions->Note();
        state["question"] =
            actions->Question() != nullptr ? actions->Question()->text() : QString();
    }
    if (!brief)
        state["chat"] = Lines(window->Chat()->Log());
    return state;
}
