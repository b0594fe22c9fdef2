#pragma once
// The chat panel: a read-only log of coloured chat lines and system notices
// above a one-line "Send:" entry. Bound to a game id it carries that game's
// chat; with an empty id it carries the public chat. Enter in the entry
// posts MSG_CHAT_SEND to the protocol speaker (through SpeakerLink); the
// panel never writes what it sent into its own log.
//
// Everything shown comes from the network and goes into the log as plain
// text runs, never as markup. The log keeps the newest kMaxLogLines lines
// and drops the oldest, so a lobby left open for days does not grow
// without bound.
//
// A child view of its window; GUI thread only; nothing blocks.

#include <QWidget>

#include <string>

class BMessage;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

class UserPanel : public QWidget
{
public:
    static constexpr int kMaxLogLines = 5000;

    explicit UserPanel(const QRect& frame = QRect(), QWidget* parent = nullptr);
    explicit UserPanel(QWidget* parent) : UserPanel(QRect(), parent) {}

    void SetGameID(const std::string& gameId) { fGameID = gameId; }
    std::string GameID() const { return fGameID; }

    // Enables or disables the entry; the log keeps receiving lines.
    void SetEnabled(bool enabled);
    bool IsEnabled() const;

    // Deletes the whole log; the entry is not touched.
    void Reset();

    // Appends "user: message"; the name is green when it is the logged-in
    // user's (exactly), red otherwise. `channel` is not shown.
    void ReceivedMessage(const std::string& user, const std::string& channel,
                         const std::string& message);
    // Appends "System: " + text, all magenta.
    void ReceivedNotification(const std::string& text);

    // MSG_CHAT_SEND: sends the entry's text; every other message is dropped.
    void MessageReceived(BMessage* message);

    QPlainTextEdit* Log() const { return fLog; }
    QLineEdit* Entry() const { return fEntry; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void _Append(const QString& text, const QColor& colour);
    void _ScrollToNewest();
    void _Send();
    void _Layout();

    std::string fGameID;
    QPlainTextEdit* fLog;
    QLabel* fSendLabel;
    QLineEdit* fEntry;
};
