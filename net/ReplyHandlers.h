#pragma once
// One handler per server reply code: turns a split server line into
// messages, calls on the windows (through the WindowLink), new game windows
// and alerts.
//
// Runs on the speaker's loop thread (or whichever single thread feeds it).
// Window work runs on the GUI thread, in the order of the lines: it is
// collected while the lines of a chunk are handled and run in one call on
// the GUI thread when the chunk is done (Flush) or before an alert, while
// the handler's thread waits for it. One hop to the GUI thread per chunk
// rather than per line is what lets a list of a hundred thousand players
// show in a second or two. Windows are looked up in the registry inside
// that call, because they are created and destroyed only there. Alerts
// block until dismissed. Holds a reference to its context, which must
// outlive it.

#include "net/ServerLine.h"

#include <functional>
#include <string>
#include <vector>

class ReplyContext;

class ReplyHandlers
{
public:
    using Args = std::vector<std::string>;

    explicit ReplyHandlers(ReplyContext& context);

    // Calls the handler for `line.code`; returns false, having done nothing,
    // for a code that has no handler (404 included).
    bool Dispatch(const ServerLine& line);
    // Runs the window work of the lines handled so far on the GUI thread and
    // returns once it has run.
    void Flush();
    // The number of window calls waiting for Flush().
    size_t PendingWork() const { return fGuiWork.size(); }

    void Handler101(const std::string& code, const Args& args);     // server version
    void Handler102(const std::string& code, const Args& args);     // game chat
    void Handler114(const std::string& code, const Args& args);     // a move
    void Handler115(const std::string& code, const Args& args);     // public chat
    void Handler118(const std::string& code, const Args& args);     // game information
    void Handler119(const std::string& code, const Args& args);     // game ended
    void Handler120(const std::string& code, const Args& args);     // start watching
    void Handler121(const std::string& code, const Args& args);     // public chat, no channel
    void Handler123(const std::string& code, const Args& args);     // game chat with game id
    void Handler140(const std::string& code, const Args& args);     // keep-alive question
    void Handler141(const std::string& code, const Args& args);     // a player away or back
    void Handler130(const std::string& code, const Args& args);     // features supported
    void Handler131(const std::string& code, const Args& args);     // a game's time control
    void Handler132(const std::string& code, const Args& args);     // clocks
    void Handler133(const std::string& code, const Args& args);     // draw offer
    void Handler134(const std::string& code, const Args& args);     // rematch
    void Handler201(const std::string& code, const Args& args);     // login accepted
    void Handler401(const std::string& code, const Args& args);     // account created
    void Handler402(const std::string& code, const Args& args);     // account exists
    void Handler403(const std::string& code, const Args& args);     // wrong password
    void Handler406(const std::string& code, const Args& args);     // no such game
    void Handler504(const std::string& code, const Args& args);     // already logged in
    void Handler601(const std::string& code, const Args& args);     // game aborted
    void Handler700(const std::string& code, const Args& args);     // user online
    void Handler701(const std::string& code, const Args& args);     // user arrived
    void Handler702(const std::string& code, const Args& args);     // user left
    void HandlerArchive(const std::string& code, const Args& args); // 135-139: the archive
    // 103-105, 110-113, 116, 117, 405 and 407-411: known codes that change nothing.
    void HandlerIgnored(const std::string& code, const Args& args);

private:
    // Queues window work for the next Flush().
    void _OnGuiThread(std::function<void()> call);
    void _Post(uint32_t what);
    void _PostInfo(const std::string& text);
    void _OpenPlayedGame(const std::string& id, const std::string& user, int colour, bool seatBlack,
                         bool seatWhite);

    ReplyContext& fContext;
    std::vector<std::function<void()>> fGuiWork;
};
