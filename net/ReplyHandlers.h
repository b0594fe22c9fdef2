#pragma once
// One handler per server reply code: turns a split server line into
// messages, calls on the lobby and game windows, new game windows and alerts.
//
// Runs on the speaker's loop thread (or whichever single thread feeds it).
// Window work runs on the GUI thread while the handler waits for it, and the
// window is looked up in the registry inside that same call, because windows
// are created and destroyed only there. Alerts block until dismissed.
// Holds a reference to its context, which must outlive it.

#include "net/ServerLine.h"

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

    void Handler101(const std::string& code, const Args& args); // server version
    void Handler102(const std::string& code, const Args& args); // game chat
    void Handler114(const std::string& code, const Args& args); // a move
    void Handler115(const std::string& code, const Args& args); // public chat
    void Handler118(const std::string& code, const Args& args); // game information
    void Handler119(const std::string& code, const Args& args); // game ended
    void Handler120(const std::string& code, const Args& args); // start watching
    void Handler121(const std::string& code, const Args& args); // public chat, no channel
    void Handler123(const std::string& code, const Args& args); // game chat with game id
    void Handler201(const std::string& code, const Args& args); // login accepted
    void Handler401(const std::string& code, const Args& args); // account created
    void Handler402(const std::string& code, const Args& args); // account exists
    void Handler403(const std::string& code, const Args& args); // wrong password
    void Handler406(const std::string& code, const Args& args); // no such game
    void Handler504(const std::string& code, const Args& args); // already logged in
    void Handler601(const std::string& code, const Args& args); // game aborted
    void Handler700(const std::string& code, const Args& args); // user online
    void Handler701(const std::string& code, const Args& args); // user arrived
    void Handler702(const std::string& code, const Args& args); // user left
    // 103-105, 110-113, 116, 117, 405 and 407-411: known codes that change nothing.
    void HandlerIgnored(const std::string& code, const Args& args);

private:
    void _Post(uint32_t what);
    void _PostInfo(const std::string& text);
    void _OpenPlayedGame(const std::string& id, const std::string& user, int colour, bool seatBlack,
                         bool seatWhite);

    ReplyContext& fContext;
};
