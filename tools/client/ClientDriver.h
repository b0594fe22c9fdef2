#pragma once
// Drives a running client the way a user would, on commands read from
// standard input, one per line, and answers each command with one line of
// JSON on the reply descriptor.
//
// Commands (squares such as E2, game ids as the server numbers them):
//   login USER PASSWORD            fill in the login window and press "Log In"
//   create-account USER PASSWORD   the same with "Create This Account!" ticked
//   click create|join|watch|stop-trying
//                                 press a lobby button
//   cut                            shut the connection to the server down, as
//                                  a network failure would
//   select GAME                    select a game's row in the lobby
//   choose-colour white|black [DESCRIPTION]
//                                  fill in the game creation dialog and press a rook
//   drag GAME FROM TO              drag a piece on that game's board
//   move GAME FROM TO              click a piece, then its target square
//   promote queen|rook|bishop|knight
//   say TEXT                       type a line into the lobby's chat
//   game-say GAME TEXT             type a line into a game window's chat
//   close-game GAME                close a game window
//   time-control LABEL             choose a time control (1+0, 3+2, Untimed...)
//                                  in the game creation dialog
//   game-button GAME NAME          press a game window's button (resign, draw,
//                                  abort, accept, decline, rematch)
//   answer GAME yes|no             answer the game window's "Resign this game?"
//   clock-paints GAME              each clock drawn first after the server's
//                                  figures: side, time shown, figure, times
//   logout | quit                  the lobby's File menu items
//   press-alert                    press the button of the newest alert shown
//   step GAME back|forward|home|end|PLY
//                                  choose the position a game window shows
//   copy-pgn GAME                  press "Copy PGN"; replies with the clipboard
//   my-games                       the lobby's Games menu item "My Games..."
//   open-archived ROW              double-click a row of the archive window
//   grab lobby|login|archive|game GAME PATH
//                                  save a window's picture as PNG
//   watch-fill GAMES PLAYERS       note when the lobby first lists that many
//   paints GAME                    each board position drawn, with its time
//   state [brief]                  what the user sees (brief: without the lists)
//
// An action replies before its last step: a step that opens a modal dialog
// (a promotion, an alert) runs that dialog's loop until the dialog closes,
// and commands go on being read meanwhile. Replies are {"ok":true,...} or
// {"ok":false,"error":...}; the driver never lets bad input end the program.
//
// GUI thread only.

#include <QJsonObject>
#include <QObject>

#include <map>
#include <memory>
#include <string>
#include <vector>

class ChessView;
class AlertRecorder;
class GameWindow;
class QPoint;
class QSocketNotifier;
class QTimer;
class RecordingSound;

class ClientDriver : public QObject
{
public:
    ClientDriver(int replyFd, std::shared_ptr<RecordingSound> sounds, AlertRecorder* alerts);
    ~ClientDriver() override;

    // Starts reading commands from standard input. At its end the program
    // ends: nobody is left to drive it.
    void Start();

protected:
    // Notes when the login window is first drawn and each new position a
    // board draws.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Paint
    {
        std::string board;
        long long micros;
    };

    void _ReadInput();
    void _Run(const std::string& line);
    void _Reply(QJsonObject reply);
    void _Fail(const std::string& error);

    void _Login(const std::vector<std::string>& words, const std::string& password, bool create);
    void _Click(const std::vector<std::string>& words);
    void _Cut();
    void _Select(const std::vector<std::string>& words);
    void _ChooseColour(const std::vector<std::string>& words, const std::string& rest);
    void _Drag(const std::vector<std::string>& words);
    void _ClickMove(const std::vector<std::string>& words);
    // The game window's board and the centres of the squares named by
    // words[2] and words[3]; false, with the failure replied, when any is
    // missing.
    bool _BoardAndSquares(const std::vector<std::string>& words, const char* usage,
                          ChessView** board, QPoint* from, QPoint* to);
    void _Promote(const std::vector<std::string>& words);
    void _Say(const std::string& gameId, const std::string& text);
    void _CloseGame(const std::vector<std::string>& words);
    void _MenuItem(const QString& title);
    void _Grab(const std::vector<std::string>& words);
    void _WatchFill(const std::vector<std::string>& words);
    void _Paints(const std::vector<std::string>& words);
    void _Step(const std::vector<std::string>& words);
    void _CopyPgn(const std::vector<std::string>& words);
    void _OpenArchived(const std::vector<std::string>& words);
    void _TimeControl(const std::vector<std::string>& words);
    void _GameButton(const std::vector<std::string>& words);
    void _Answer(const std::vector<std::string>& words);
    void _ClockPaints(const std::vector<std::string>& words);
    void _CheckFill();

    QJsonObject _State(bool brief) const;
    QJsonObject _LobbyState(bool brief) const;
    QJsonObject _GameState(GameWindow* window, bool brief) const;
    static GameWindow* _FindGame(const std::string& gameId);

    int fReplyFd;
    std::shared_ptr<RecordingSound> fSounds;
    AlertRecorder* fAlerts;
    QSocketNotifier* fInput = nullptr;
    std::string fPending;

    long long fLoginShownAt = 0;
    long long fLoginPressedAt = 0;
    long long fFilledAt = 0;
    int fFillGames = -1;
    int fFillPlayers = -1;
    QTimer* fFillTimer = nullptr;
    std::map<std::string, std::vector<Paint>> fPaints;
    struct ClockPaint
    {
        int side;
        long long shown;
        long long figure;
        long long updatedAt;
        long long micros;
    };
    std::map<std::string, std::vector<ClockPaint>> fClockPaints;
};
