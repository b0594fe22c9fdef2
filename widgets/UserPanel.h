#pragma once
// The chat panel: a read-only log of coloured chat lines and system notices
// above a one-line "Send:" entry. Bound to a game id it carries that game's
// chat; with an empty id it carries the public chat. Enter in the entry
// posts MSG_CHAT_SEND to the protocol speaker (through its SpeakerLink);
// the panel never writes what it sent into its own log.
//
// Everything shown comes from the network and goes into the log as plain
// text runs, never as markup. The log keeps the newest kMaxLogLines lines
// and drops the oldest, and a line longer than kMaxLineLength characters
// is cut with an ellipsis, so neither a lobby left open for days nor a
// hostile server makes it grow without bound. Lines arriving in a burst
// are gathered and laid out together, at most every kFlushInterval
// milliseconds (less often while laying them out takes long) and in slices
// of kFlushSlice lines; of the lines gathered, only those the log keeps are
// laid out at all.
//
// A child view of its window; GUI thread only; nothing blocks.

#include <QColor>
#include <QElapsedTimer>
#include <QWidget>

#include <deque>
#include <string>
#include <vector>

class BMessage;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;

class UserPanel : public QWidget
{
public:
    static constexpr int kMaxLogLines = 5000;
    static constexpr qsizetype kMaxLineLength = 2000;
    static constexpr int kFlushInterval = 100;
    // At most this many lines are laid out at a time, between which the GUI
    // thread gets to its other events.
    static constexpr size_t kFlushSlice = 500;

    explicit UserPanel(QWidget* parent = nullptr);

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

    // The log, with every line received so far in it.
    QPlainTextEdit* Log();
    QLineEdit* Entry() const { return fEntry; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Run
    {
        QString text;
        QColor colour;
    };
    using Line = std::vector<Run>;

    void _Append(Line line);
    // Lays out the `most` oldest pending lines.
    void _Flush(size_t most);
    void _Send();
    void _Layout();

    std::string fGameID;
    QPlainTextEdit* fLog;
    // Lines received and not yet in the log, at most kMaxLogLines.
    std::deque<Line> fPending;
    QTimer* fFlushTimer;
    QElapsedTimer fSinceFlush;
    qint64 fLastFlushTime = 0;
    QLabel* fSendLabel;
    QLineEdit* fEntry;
};
