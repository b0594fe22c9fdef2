#pragma once
// The lobby: the program's main window, open for the whole run. It shows
// the server's games, the players online, the public chat with system
// notices and the connection state, and offers create, join, watch,
// logout, preferences, about, help and quit.
//
// A singleton created on the GUI thread by Instance(); it registers with
// the broadcast loop for the whole of its life. All its operations run on
// the GUI thread: the protocol handlers reach InformAboutGame, RemoveGame,
// UserIn and UserOut through the WindowLink (ClientWindows), which runs on
// it. Alerts are modal and nest an event loop; nothing here waits for
// another thread. Closing the lobby quits the application.

#include "kit/GuiLooper.h"
#include "widgets/BWindow.h"

#include <QWidget>

#include <functional>
#include <string>
#include <unordered_map>

class BitmapButton;
class GameList;
class GameListItem;
class PeopleList;
class PeopleListItem;
class QMenuBar;
class QPushButton;
class QSplitter;
class StatusView;
class UpdateThrottle;
class UserPanel;

class BrowserWindow : public BWindow<QWidget, GuiLooper>
{
public:
    static constexpr int kWidth = 650;
    static constexpr int kHeight = 402;

    // The lobby, created (hidden) on first use.
    static BrowserWindow* Instance();
    // True once the lobby has been closed: the application is quitting and
    // no new lobby should be made.
    static bool WasClosed();

    ~BrowserWindow() override;

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;

    // Back to the logged-out state; shows a new login window.
    void Reset();

    void InformAboutGame(const std::string& gameId, const std::string& black,
                         const std::string& white, const std::string& description);
    void RemoveGame(const std::string& gameId);
    // The time control of a listed game (131); an unlisted game is ignored.
    void SetTimeControl(const std::string& gameId, int32 minutes, int32 seconds);
    void UserIn(const std::string& user, const std::string& rating, bool announce);
    void UserOut(const std::string& user);
    void SetStatus(const std::string& text);

    // How the help page is opened; the default hands the address to the
    // desktop's web browser. Returns false when it could not be opened.
    using WebPageOpener = std::function<bool(const std::string& url)>;
    static void SetWebPageOpener(WebPageOpener opener);
    // The help page shipped with the program, as a file address.
    static std::string HelpPageUrl();

    GameList* Games() const { return fGames; }
    PeopleList* People() const { return fPeople; }
    UserPanel* Chat() const { return fChat; }
    StatusView* Status() const { return fStatus; }
    QPushButton* StopTryingButton() const { return fStopTrying; }
    BitmapButton* CreateButton() const { return fCreate; }
    BitmapButton* JoinButton() const { return fJoin; }
    BitmapButton* WatchButton() const { return fWatch; }
    QMenuBar* MenuBar() const { return fMenuBar; }
    QSplitter* MainSplit() const { return fOuterSplit; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    BrowserWindow();

    void _BuildMenus();
    void _BuildButtons();
    void _BuildPanes();
    void _LayOut();

    void _Join();
    void _Watch();
    void _Observe(const std::string& gameId);
    void _UpdateButtonsForSelection();
    void _OpenWebPage();
    // The row of `gameId`, or null; with its index in the list when asked.
    GameListItem* _FindGame(const std::string& gameId, int* index = nullptr) const;
    // The connection is lost: the lists empty until the new login refills them.
    void _ConnectionLost();
    void _UpdateGameWindow(const std::string& gameId, const std::string& white,
                           const std::string& black);

    QMenuBar* fMenuBar = nullptr;
    BitmapButton* fCreate = nullptr;
    BitmapButton* fJoin = nullptr;
    BitmapButton* fWatch = nullptr;
    QSplitter* fOuterSplit = nullptr;
    QSplitter* fInnerSplit = nullptr;
    GameList* fGames = nullptr;
    UserPanel* fChat = nullptr;
    QWidget* fPeoplePane = nullptr;
    PeopleList* fPeople = nullptr;
    StatusView* fStatus = nullptr;
    // Shown while the speaker tries to reconnect: ends the attempts.
    QPushButton* fStopTrying = nullptr;
    // Game id -> its row. Every id is listed at most once (an announcement
    // of a listed id updates its row), so this finds the same row as a walk
    // from the top, without walking thousands of rows per announcement.
    std::unordered_map<std::string, GameListItem*> fGameRows;
    // User name -> its row, likewise: each name is listed once.
    std::unordered_map<std::string, PeopleListItem*> fPeopleRows;
    bool fSplitPlaced = false;
    UpdateThrottle* fRepaints = nullptr;
};
