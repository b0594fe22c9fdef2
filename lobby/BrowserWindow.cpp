#include "lobby/BrowserWindow.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "app/WindowLink.h"
#include "game/ChooseColorWindow.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"
#include "lobby/ArchiveWindow.h"
#include "lobby/GameList.h"
#include "lobby/GameListItem.h"
#include "lobby/LoginWindow.h"
#include "lobby/PeopleList.h"
#include "lobby/PeopleListItem.h"
#include "net/ClientLines.h"
#include "net/SpeakerLink.h"
#include "prefs/AboutWindow.h"
#include "prefs/PreferencesWindow.h"
#include "widgets/BitmapButton.h"
#include "widgets/GenericFunctions.h"
#include "widgets/StatusView.h"
#include "widgets/UpdateThrottle.h"
#include "widgets/UserPanel.h"

#include <QDesktopServices>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

namespace {

BrowserWindow* sInstance = nullptr;
bool sClosed = false;
BrowserWindow::WebPageOpener sWebPageOpener;

const char* const kBadPasswordAlert =
    "Authentication failed.  You may have typed in a bad username and password.  Please "
    "re-check and log in again.";
const char* const kDuplicateAlert =
    "Authentication failed.  You may not log in twice with the same username.  Please "
    "disconnect any previous connections and try again.";
const char* const kHelpFailedAlert = "The help page could not be opened in a web browser.";

constexpr int kMenuHeight = 18;
constexpr int kButtonTop = 24;
constexpr int kMainTop = 57;
// At most this often the lobby repaints while a server floods it.
constexpr int kRepaintInterval = 50;

// Byte comparison with ASCII letters folded to lower case: strcasecmp in
// the C locale, whatever locale the application runs in.
int CompareIgnoringCase(const std::string& a, const std::string& b)
{
    size_t length = std::min(a.size(), b.size());
    for (size_t i = 0; i < length; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

void PostNotice(const std::string& text)
{
    BMessage notice(MSG_INFO_TEXT);
    notice.AddString("message", text);
    MessageRepeater::Instance()->PostMessage(notice);
}

} // namespace

BrowserWindow* BrowserWindow::Instance()
{
    if (sInstance == nullptr)
        sInstance = new BrowserWindow();
    return sInstance;
}

bool BrowserWindow::WasClosed()
{
    return sClosed;
}

BrowserWindow::BrowserWindow() : BWindow<QWidget, GuiLooper>(QStringLiteral("Tolvar"))
{
    setObjectName(QStringLiteral("lobby"));
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight));
    setMinimumSize(200, 200);
    setMaximumSize(3000, 3000);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(216, 216, 216));
    setPalette(background);

    IgnoreMessages({MSG_PORT_DATA, MSG_SPEAKER_LINE, MSG_CONNECTION_BROKEN});
    MessageRepeater::Instance()->AddTarget(this);

    _BuildMenus();
    _BuildButtons();
    _BuildPanes();
    fStatus = new StatusView("status", this);
    fStopTrying = new QPushButton(QStringLiteral("Stop trying"), this);
    fStopTrying->setObjectName("stopTrying");
    QFont small = fStopTrying->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    fStopTrying->setFont(small);
    fStopTrying->hide();
    connect(fStopTrying, &QPushButton::clicked, this,
            [] { Speaker().PostMessage(BMessage(MSG_RECONNECT_STOP)); });
    _LayOut();
    fRepaints = new UpdateThrottle(this, kRepaintInterval);
}

BrowserWindow::~BrowserWindow()
{
    MessageRepeater::Instance()->RemoveTarget(this);
    if (sInstance == this) {
        sInstance = nullptr;
        sClosed = true;
    }
}

void BrowserWindow::_BuildMenus()
{
    fMenuBar = new QMenuBar(this);
    fMenuBar->setObjectName(QStringLiteral("menubar"));
    fMenuBar->setNativeMenuBar(false);
    // The bar is 18 pixels high; its titles are set small enough to fit.
    fMenuBar->setFont(GenericFunctions::PlainFont(11));
    auto item = [this](QMenu* menu, const QString& label, uint32 what,
                       const QKeySequence& shortcut = {}) {
        QAction* action = menu->addAction(label);
        action->setShortcut(shortcut);
        QObject::connect(action, &QAction::triggered, this, [this, what] { PostMessage(what); });
    };
    QMenu* file = fMenuBar->addMenu(QStringLiteral("File"));
    item(file, QStringLiteral("About Tolvar..."), MSG_SHOW_ABOUT);
    file->addSeparator();
    item(file, QStringLiteral("Logout"), MSG_LOGOUT, QKeySequence(Qt::CTRL | Qt::Key_L));
    file->addSeparator();
    item(file, QStringLiteral("Quit"), MSG_QUIT_APP, QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* edit = fMenuBar->addMenu(QStringLiteral("Edit"));
    item(edit, QStringLiteral("Preferences"), MSG_SHOW_PREFERENCES);
    QMenu* games = fMenuBar->addMenu(QStringLiteral("Games"));
    QAction* mine = games->addAction(QStringLiteral("My Games\u2026"));
    QObject::connect(mine, &QAction::triggered, this, [] {
        const std::string user = Speaker().LoggedInAs();
        if (!user.empty())
            ArchiveWindow::Open(user);
    });
    QMenu* help = fMenuBar->addMenu(QStringLiteral("Help"));
    item(help, QStringLiteral("Quillmere"), MSG_OPEN_WEB_PAGE);
}

void BrowserWindow::_BuildButtons()
{
    auto button = [this](int left, const std::string& name, uint32 what) {
        AppLocation* location = AppLocation::Instance();
        std::string base = "resources/graphics/" + name;
        auto* made =
            new BitmapButton(QRect(left, kButtonTop, 64, 32), location->AbsolutePath(base + ".png"),
                             location->AbsolutePath(base + "-down.png"),
                             location->AbsolutePath(base + "-disabled.png"), this);
        made->setObjectName(QString::fromStdString(name));
        made->setEnabled(false);
        QObject::connect(made, &QAbstractButton::clicked, this,
                         [this, what] { PostMessage(what); });
        return made;
    };
    fCreate = button(10, "create-game", MSG_NEW_GAME);
    fJoin = button(74, "join-game", MSG_JOIN_GAME);
    fWatch = button(138, "watch-game", MSG_WATCH_GAME);
}

void BrowserWindow::_BuildPanes()
{
    fOuterSplit = new QSplitter(Qt::Horizontal, this);
    fOuterSplit->setChildrenCollapsible(false);
    fInnerSplit = new QSplitter(Qt::Vertical, fOuterSplit);
    fInnerSplit->setChildrenCollapsible(false);

    const int unit = (kWidth - 14) / 16;
    fGames = new GameList(fInnerSplit);
    fGames->setObjectName(QStringLiteral("games"));
    fGames->AddColumn(QStringLiteral("ID"), unit, unit);
    fGames->AddColumn(QStringLiteral("White"), unit * 5 / 2, unit * 5 / 2);
    fGames->AddColumn(QStringLiteral("Black"), unit * 5 / 2, unit * 5 / 2);
    fGames->AddColumn(QStringLiteral("Time"), unit * 3 / 2, unit * 3 / 2);
    fGames->AddColumn(QStringLiteral("Description"), unit * 6, unit * 6);
    fGames->SetInvocationHandler([this](int) { PostMessage(MSG_JOIN_GAME); });

    fChat = new UserPanel(fInnerSplit);
    fChat->SetEnabled(false);

    fPeoplePane = new QWidget(fOuterSplit);
    fPeoplePane->setObjectName(QStringLiteral("people-pane"));
    const double listWidth = kWidth / 3.0 - 22;
    const int v = static_cast<int>((listWidth - 14) / 4);
    fPeople = new PeopleList(fPeoplePane);
    fPeople->setObjectName(QStringLiteral("people"));
    fPeople->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(fPeople, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        const int row = fPeople->indexAt(at).row();
        PeopleListItem* person = row >= 0 ? fPeople->PersonAt(row) : nullptr;
        if (person == nullptr || Speaker().LoggedInAs().empty())
            return;
        const std::string name = person->ColumnText(0).toStdString();
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QAction* games = menu->addAction(QString::fromStdString("Games of " + name + "\u2026"));
        QObject::connect(games, &QAction::triggered, this, [name] { ArchiveWindow::Open(name); });
        menu->popup(fPeople->viewport()->mapToGlobal(at));
    });
    // Inset 4 pixels in its pane; the list's own scroll bar takes the room
    // the pane leaves free on the right.
    auto* inset = new QVBoxLayout(fPeoplePane);
    inset->setContentsMargins(4, 4, 4, 4);
    inset->addWidget(fPeople);
    fPeople->AddColumn(QStringLiteral("Players Online"), 3 * v, 20);
    fPeople->AddColumn(QStringLiteral("Rating"), v + 2, v + 2);

    fOuterSplit->setStretchFactor(0, 1);
    fOuterSplit->setStretchFactor(1, 0);
}

void BrowserWindow::_LayOut()
{
    const int width = this->width();
    const int height = this->height();
    fMenuBar->setGeometry(0, 0, width, kMenuHeight);
    const int mainBottom = height - (fStatus->GetHeight() + 3);
    fOuterSplit->setGeometry(0, kMainTop, width, std::max(0, mainBottom - kMainTop));
    // In the status line's strip, at its right end.
    const int strip = fStatus->GetHeight() + 3;
    const int stopWidth = fStopTrying->fontMetrics().horizontalAdvance(fStopTrying->text()) + 16;
    fStopTrying->setGeometry(width - stopWidth - 2, height - strip, stopWidth, strip);
    fStopTrying->raise();
    if (!fSplitPlaced) {
        fSplitPlaced = true;
        const int bar = width * 2 / 3;
        fOuterSplit->setSizes({bar, std::max(0, width - bar - fOuterSplit->handleWidth())});
        const int games = fOuterSplit->height() * 11 / 20;
        fInnerSplit->setSizes({games, std::max(0, fOuterSplit->height() - games)});
    }
}

void BrowserWindow::resizeEvent(QResizeEvent*)
{
    _LayOut();
}

void BrowserWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_PORT_RESOLVING:
        SetStatus("resolving hostname " + Speaker().Server());
        break;
    case MSG_PORT_CONNECTING:
        SetStatus("connecting to host " + Speaker().Server());
        break;
    case MSG_CONNECTED:
        SetStatus("connection with " + Speaker().Server() + " established...logging in");
        break;
    case MSG_LOGGED_IN:
        SetStatus("connected as " + Speaker().LoggedInAs());
        fChat->SetEnabled(true);
        fCreate->setEnabled(true);
        fJoin->setEnabled(false);
        break;
    case MSG_LOGIN_BAD_PASSWORD:
        SetStatus("password incorrect");
        ModalAlertFactory::Alert(kBadPasswordAlert, "Hmmm...");
        Reset();
        break;
    case MSG_LOGIN_DUPLICATE:
        SetStatus("duplicate login detected");
        ModalAlertFactory::Alert(kDuplicateAlert, "Hmmm...");
        Reset();
        break;
    case MSG_LOGOUT:
        SetStatus("disconnected");
        Reset();
        break;
    case MSG_CONNECTION_LOST:
        _ConnectionLost();
        break;
    case MSG_RECONNECT_STATUS:
        SetStatus(message->GetString("message"));
        break;
    case MSG_RECONNECTED:
        fStopTrying->hide();
        break;
    case MSG_SHOW_ABOUT:
        AboutWindow::Instance()->Show();
        break;
    case MSG_SHOW_PREFERENCES:
        PreferencesWindow::Instance()->Show();
        break;
    case MSG_QUIT_APP:
        PostMessage(B_QUIT_REQUESTED);
        break;
    case MSG_NEW_GAME:
        (new ChooseColorWindow())->Show();
        break;
    case MSG_JOIN_GAME:
        _Join();
        break;
    case MSG_WATCH_GAME:
        _Watch();
        break;
    case MSG_GAME_SELECTED:
        _UpdateButtonsForSelection();
        break;
    case MSG_GAME_UNSELECTED:
        fJoin->setEnabled(false);
        fWatch->setEnabled(false);
        break;
    case MSG_OPEN_WEB_PAGE:
        _OpenWebPage();
        break;
    case MSG_PUBLIC_CHAT:
        fRepaints->NoteChange();
        fChat->ReceivedMessage(message->GetString("user"), message->GetString("channel"),
                               message->GetString("message"));
        break;
    case MSG_INFO_TEXT:
        fRepaints->NoteChange();
        fChat->ReceivedNotification(message->GetString("message"));
        break;
    default:
        break;
    }
}

bool BrowserWindow::QuitRequested()
{
    kit::PostAppQuitRequest();
    return true;
}

void BrowserWindow::_ConnectionLost()
{
    fPeople->MakeEmpty();
    fPeopleRows.clear();
    fGames->MakeEmpty();
    fGameRows.clear();
    fChat->SetEnabled(false);
    fCreate->setEnabled(false);
    SetStatus("connection lost");
    fStopTrying->show();
}

void BrowserWindow::Reset()
{
    SetStatus("");
    fStopTrying->hide();
    // The game windows are asked to close before the speaker resets, so
    // that the lines they send as they close (ABORT, OBSERVE off) still go
    // out on the connection the games belong to.
    MyGames::Instance()->RemoveAllGames();
    Speaker().Reset();
    fPeople->MakeEmpty();
    fPeopleRows.clear();
    fChat->SetEnabled(false);
    fChat->Reset();
    // Removing the selected row reports an empty selection, which switches
    // join and watch off; the create button keeps its state.
    fGames->MakeEmpty();
    fGameRows.clear();
    (new LoginWindow())->Show();
}

void BrowserWindow::SetStatus(const std::string& text)
{
    fStatus->SetMessage(text);
}

void BrowserWindow::InformAboutGame(const std::string& gameId, const std::string& black,
                                    const std::string& white, const std::string& description)
{
    fRepaints->NoteChange();
    int index = 0;
    GameListItem* row = _FindGame(gameId, &index);
    if (row == nullptr) {
        auto made = std::make_unique<GameListItem>(gameId);
        made->SetWhitePlayer(white);
        made->SetBlackPlayer(black);
        made->SetDescription(description);
        _UpdateGameWindow(gameId, white, black);
        fGameRows[gameId] = made.get();
        // The newest game is at the top.
        fGames->AddItem(std::move(made), 0);
        index = 0;
    } else {
        row->SetWhitePlayer(white);
        row->SetBlackPlayer(black);
        _UpdateGameWindow(gameId, white, black);
    }
    fGames->InvalidateItem(index);
    // The buttons follow seats that fill while a row stays selected.
    if (fGames->CurrentSelection() >= 0)
        PostMessage(MSG_GAME_SELECTED);
}

void BrowserWindow::SetTimeControl(const std::string& gameId, int32 minutes, int32 seconds)
{
    int index = 0;
    if (GameListItem* row = _FindGame(gameId, &index)) {
        fRepaints->NoteChange();
        row->SetTimeControl(minutes, seconds);
        fGames->InvalidateItem(index);
    }
}

void BrowserWindow::RemoveGame(const std::string& gameId)
{
    fRepaints->NoteChange();
    int index = 0;
    if (_FindGame(gameId, &index) != nullptr) {
        fGameRows.erase(gameId);
        fGames->RemoveItem(index);
    }
}

void BrowserWindow::UserIn(const std::string& user, const std::string& rating, bool announce)
{
    fRepaints->NoteChange();
    if (auto listed = fPeopleRows.find(user); listed != fPeopleRows.end()) {
        listed->second->SetRating(rating);
        fPeople->InvalidateItem(fPeople->IndexOf(listed->second));
        return;
    }
    // Sorted by name without case, with case breaking ties: the new row
    // goes before the first listed name that sorts after it.
    int low = 0;
    int high = fPeople->CountItems();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const std::string& name = fPeople->PersonAt(middle)->User();
        const int folded = CompareIgnoringCase(name, user);
        if (folded > 0 || (folded == 0 && name > user))
            high = middle;
        else
            low = middle + 1;
    }
    // The first player into an empty list is never announced.
    const bool first = fPeople->CountItems() == 0;
    auto row = std::make_unique<PeopleListItem>(user);
    row->SetRating(rating);
    fPeopleRows[user] = row.get();
    fPeople->AddItem(std::move(row), low);
    if (announce && !first)
        PostNotice(user + " has arrived");
}

void BrowserWindow::UserOut(const std::string& user)
{
    fRepaints->NoteChange();
    auto listed = fPeopleRows.find(user);
    if (listed == fPeopleRows.end())
        return;
    fPeople->RemoveItem(fPeople->IndexOf(listed->second));
    fPeopleRows.erase(listed);
    PostNotice(user + " has left");
}

void BrowserWindow::SetWebPageOpener(WebPageOpener opener)
{
    sWebPageOpener = std::move(opener);
}

std::string BrowserWindow::HelpPageUrl()
{
    QString path =
        QString::fromStdString(AppLocation::Instance()->AbsolutePath("resources/help/index.html"));
    return QUrl::fromLocalFile(path).toString().toStdString();
}

void BrowserWindow::_Join()
{
    // Counted first, whatever follows: a game the user joins is announced
    // with the user in a seat, and only a counted user gets its window.
    MyGames::Instance()->AddStarted();
    GameListItem* game = fGames->SelectedGame();
    if (game == nullptr)
        return;
    if (game->AmIInvolved()) {
        ModalAlertFactory::Alert("You are already involved in this game.", "Oops!");
        return;
    }
    if (!game->IsFull())
        Speaker().PostLine(ClientLines::Play(game->GameID()));
    else
        _Observe(game->GameID());
}

void BrowserWindow::_Watch()
{
    GameListItem* game = fGames->SelectedGame();
    if (game == nullptr)
        return;
    if (game->IsFull() && !game->AmIInvolved())
        _Observe(game->GameID());
    else
        ModalAlertFactory::Alert("You can not observe this game.", "Oops!");
}

void BrowserWindow::_Observe(const std::string& gameId)
{
    // Remembered, so that the server's answer (120) may open a window: a
    // 120 nobody asked for opens none.
    MyGames::Instance()->AddWatchRequest(gameId);
    Speaker().PostLine(ClientLines::ObserveOn(gameId));
}

void BrowserWindow::_UpdateButtonsForSelection()
{
    GameListItem* game = fGames->SelectedGame();
    if (game == nullptr)
        return;
    fJoin->setEnabled(!game->IsFull());
    fWatch->setEnabled(game->IsFull());
}

void BrowserWindow::_OpenWebPage()
{
    std::string url = HelpPageUrl();
    bool opened = sWebPageOpener ? sWebPageOpener(url)
                                 : QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    if (!opened)
        ModalAlertFactory::Alert(kHelpFailedAlert, "Oh, darn!");
}

GameListItem* BrowserWindow::_FindGame(const std::string& gameId, int* index) const
{
    auto found = fGameRows.find(gameId);
    if (found == fGameRows.end())
        return nullptr;
    if (index != nullptr)
        *index = fGames->IndexOf(found->second);
    return found->second;
}

void BrowserWindow::_UpdateGameWindow(const std::string& gameId, const std::string& white,
                                      const std::string& black)
{
    if (GameWindowBase* window = MyGames::Instance()->GetGameReference(gameId)) {
        window->SetWhitePlayer(white);
        window->SetBlackPlayer(black);
    }
}
