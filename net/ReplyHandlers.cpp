#include "net/ReplyHandlers.h"

#include "app/MessageCodes.h"
#include "app/MyGames.h"
#include "app/WindowLink.h"
#include "cgc/cgc.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"
#include "net/Features.h"
#include "net/ReplyContext.h"

#include <array>
#include <charconv>
#include <cstring>
#include <functional>

namespace {

constexpr double kNewestCompatibleVersion = 1.31;

const char* const kUnknownVersionAlert =
    "Sorry, but this version of Tolvar v1.0 can not determine if it is compatible with the "
    "server you are using.  Please download a newer version and/or the server.";

std::string IncompatibleVersionAlert(const std::string& version)
{
    // Concatenated, never formatted: the version comes from the network.
    return "Sorry, but this version of Tolvar v1.0 is not compatible with the server you are "
           "using, Halvik v" +
           version + ".  Please download a newer version.";
}

// The decimal number at the start of `text` (optional sign, digits, optional
// fraction); 0 when the text does not begin with one. Independent of the
// locale, which the application may have set to one with a decimal comma.
double LeadingNumber(const std::string& text)
{
    size_t end = 0;
    if (end < text.size() && (text[end] == '+' || text[end] == '-'))
        ++end;
    size_t digitsStart = end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    bool hasDigits = end > digitsStart;
    if (end < text.size() && text[end] == '.') {
        size_t fractionStart = ++end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        hasDigits = hasDigits || end > fractionStart;
    }
    if (!hasDigits)
        return 0;
    // from_chars takes no '+'; a '-' it reads itself.
    size_t start = text[0] == '+' ? 1 : 0;
    double value = 0;
    std::from_chars(text.data() + start, text.data() + end, value);
    return value;
}

// `text` as a whole number from 0 to `limit`, digits only; false otherwise.
bool ReadCount(const std::string& text, int64 limit, int64* value)
{
    if (text.empty() || text.size() > 12)
        return false;
    int64 read = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        read = read * 10 + (c - '0');
    }
    if (read > limit)
        return false;
    *value = read;
    return true;
}

// The wire's side ("0" Black, "1" White) as the engine's colour; -1 otherwise.
int32 ReadSide(const std::string& text)
{
    return text == "1" ? CGC_WHITE : text == "0" ? CGC_BLACK : -1;
}

// A game's end as 119 gives it: the reason, and the winner from the result
// token that closes it ("white", "black", "draw"; "aborted" for an aborted
// game; empty when there is no token).
std::pair<std::string, std::string> ReadEnd(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    std::string reason = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    const size_t space = reason.rfind(' ');
    const std::string token = space == std::string::npos ? "" : reason.substr(space + 1);
    std::string who;
    if (token == "1-0")
        who = "white";
    else if (token == "0-1")
        who = "black";
    else if (token == "1/2-1/2")
        who = "draw";
    if (!who.empty())
        reason.erase(space);
    else if (reason == "Game aborted.")
        who = "aborted";
    return {reason, who};
}

// Clocks beyond this many milliseconds (a week) are not believed.
constexpr int64 kLongestClock = 7LL * 24 * 3600 * 1000;
// The longest time control, in minutes and in seconds of increment.
constexpr int64 kLongestControl = 180;
// A grace period beyond this many seconds (a day) is not believed.
constexpr int64 kLongestGrace = 24 * 3600;

} // namespace

ReplyHandlers::ReplyHandlers(ReplyContext& context) : fContext(context) {}

void ReplyHandlers::Flush()
{
    if (fGuiWork.empty())
        return;
    std::vector<std::function<void()>> work;
    work.swap(fGuiWork);
    kit::RunOnGuiThread([&work] {
        for (const std::function<void()>& call : work)
            call();
    });
}

void ReplyHandlers::_OnGuiThread(std::function<void()> call)
{
    fGuiWork.push_back(std::move(call));
}

bool ReplyHandlers::Dispatch(const ServerLine& line)
{
    using Handler = void (ReplyHandlers::*)(const std::string&, const Args&);
    struct Entry
    {
        int code;
        Handler handler;
    };
    // Every code the server may send, each with its one handler.
    static constexpr Entry kTable[] = {
        {101, &ReplyHandlers::Handler101},     {102, &ReplyHandlers::Handler102},
        {103, &ReplyHandlers::HandlerIgnored}, {104, &ReplyHandlers::HandlerIgnored},
        {105, &ReplyHandlers::HandlerIgnored}, {110, &ReplyHandlers::HandlerIgnored},
        {111, &ReplyHandlers::HandlerIgnored}, {112, &ReplyHandlers::HandlerIgnored},
        {113, &ReplyHandlers::HandlerIgnored}, {114, &ReplyHandlers::Handler114},
        {115, &ReplyHandlers::Handler115},     {116, &ReplyHandlers::HandlerIgnored},
        {117, &ReplyHandlers::HandlerIgnored}, {118, &ReplyHandlers::Handler118},
        {119, &ReplyHandlers::Handler119},     {120, &ReplyHandlers::Handler120},
        {121, &ReplyHandlers::Handler121},     {123, &ReplyHandlers::Handler123},
        {130, &ReplyHandlers::Handler130},     {131, &ReplyHandlers::Handler131},
        {132, &ReplyHandlers::Handler132},     {133, &ReplyHandlers::Handler133},
        {134, &ReplyHandlers::Handler134},     {140, &ReplyHandlers::Handler140},
        {141, &ReplyHandlers::Handler141},     {135, &ReplyHandlers::HandlerArchive},
        {136, &ReplyHandlers::HandlerArchive}, {137, &ReplyHandlers::HandlerArchive},
        {138, &ReplyHandlers::HandlerArchive}, {139, &ReplyHandlers::HandlerArchive},
        {201, &ReplyHandlers::Handler201},     {401, &ReplyHandlers::Handler401},
        {402, &ReplyHandlers::Handler402},     {403, &ReplyHandlers::Handler403},
        {405, &ReplyHandlers::HandlerIgnored}, {406, &ReplyHandlers::Handler406},
        {407, &ReplyHandlers::HandlerIgnored}, {408, &ReplyHandlers::HandlerIgnored},
        {409, &ReplyHandlers::HandlerIgnored}, {410, &ReplyHandlers::HandlerIgnored},
        {411, &ReplyHandlers::HandlerIgnored}, {504, &ReplyHandlers::Handler504},
        {601, &ReplyHandlers::Handler601},     {700, &ReplyHandlers::Handler700},
        {701, &ReplyHandlers::Handler701},     {702, &ReplyHandlers::Handler702},
    };
    // Indexed by the code's value, so that a line costs one lookup.
    static const std::array<Handler, 1000> kByCode = [] {
        std::array<Handler, 1000> byCode{};
        for (const Entry& entry : kTable)
            byCode[static_cast<size_t>(entry.code)] = entry.handler;
        return byCode;
    }();

    const std::string& code = line.code;
    if (code.size() != 3)
        return false;
    size_t number = 0;
    for (char c : code) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<size_t>(c - '0');
    }
    Handler handler = kByCode[number];
    if (handler == nullptr)
        return false;
    (this->*handler)(code, line.args);
    return true;
}

void ReplyHandlers::Handler101(const std::string&, const Args& args)
{
    if (args.size() >= 2)
        fContext.SetServerVersion(args[0], args[1]);
    // The window work of the lines before comes first, as they came first.
    Flush();
    if (fContext.ServerVersion().empty()) {
        ModalAlertFactory::Alert(kUnknownVersionAlert, "Oh, well");
        fContext.Reset();
    }
    // Read again: the reset above stores "unknown", which reads as 0.
    std::string version = fContext.ServerVersion();
    if (LeadingNumber(version) > kNewestCompatibleVersion) {
        ModalAlertFactory::Alert(IncompatibleVersionAlert(version), "Oh, well");
        fContext.Reset();
    }
}

void ReplyHandlers::Handler102(const std::string&, const Args& args)
{
    if (args.size() < 2)
        return;
    BMessage message(MSG_GAME_CHAT);
    message.AddString("user", args[0]);
    message.AddString("message", args[1]);
    fContext.Broadcast(message);
}

void ReplyHandlers::Handler114(const std::string&, const Args& args)
{
    if (args.size() < 3)
        return;
    // Writable and NUL-filled: a four-character move carries no promotion
    // letter, and the engine may rewrite a castling text in place.
    std::array<char, 8> move{};
    std::strncpy(move.data(), args[2].c_str(), move.size() - 1);
    _OnGuiThread([id = args[0], move]() mutable {
        if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
            window->MakeMove(move.data(), true);
    });
}

void ReplyHandlers::Handler115(const std::string&, const Args& args)
{
    if (args.size() < 3)
        return;
    BMessage message(MSG_PUBLIC_CHAT);
    message.AddString("user", args[0]);
    message.AddString("channel", args[1]);
    message.AddString("message", args[2]);
    fContext.Broadcast(message);
}

void ReplyHandlers::Handler118(const std::string&, const Args& args)
{
    if (args.size() < 4)
        return;
    const std::string& id = args[0];
    const std::string& blackSeat = args[1];
    const std::string& whiteSeat = args[2];
    std::string black, white, description, info;
    if (blackSeat == "1" && whiteSeat == "0") {
        black = args[3];
        if (args.size() > 4)
            description = args[4];
        info = "Game #" + id + " is a challenge issued by " + black + " (black)";
    } else if (blackSeat == "0" && whiteSeat == "1") {
        white = args[3];
        if (args.size() > 4)
            description = args[4];
        info = "Game #" + id + " is a challenge issued by " + white + " (white)";
    } else {
        if (args.size() < 5)
            return;
        black = args[3];
        white = args[4];
        if (args.size() > 5)
            description = args[5];
        info = "Game #" + id + " between " + white + " (white) and " + black +
               " (black) is now in progress";
    }
    _PostInfo(info);

    // An empty user name (logged out) must not match the empty seat of a challenge.
    std::string user = fContext.LoggedInAs();
    bool involved =
        !user.empty() && (black == user || white == user) && MyGames::Instance()->NumStarted() > 0;
    if (involved)
        _OpenPlayedGame(id, user, black == user ? CGC_BLACK : CGC_WHITE, blackSeat == "1",
                        whiteSeat == "1");

    _OnGuiThread([id, black, white, description] {
        Windows().InformAboutGame(id, black, white, description);
    });
}

void ReplyHandlers::_OpenPlayedGame(const std::string& id, const std::string& user, int colour,
                                    bool seatBlack, bool seatWhite)
{
    _OnGuiThread([id, user, colour, seatBlack, seatWhite] {
        GameWindowBase* window = MyGames::Instance()->GetGameReference(id);
        if (window == nullptr) {
            game* record = cgc_create_game();
            if (record == nullptr)
                return;
            window = Windows().NewPlayedGameWindow(id, record, colour);
            if (window == nullptr) {
                cgc_free_game(record);
                return;
            }
            window->Show();
            window->SetStatus("you are logged in as " + user + " and playing as " +
                              (colour == CGC_BLACK ? "black" : "white"));
        }
        // The engine refuses a seat already taken; that is all a repeat does.
        if (game* record = window->Game()) {
            if (seatBlack)
                cgc_join_game(record, CGC_BLACK);
            if (seatWhite)
                cgc_join_game(record, CGC_WHITE);
        }
    });
}

void ReplyHandlers::Handler119(const std::string&, const Args& args)
{
    if (args.empty())
        return;
    const std::string& id = args[0];
    _OnGuiThread([id] { Windows().RemoveGame(id); });
    // A server that answered FEATURES gives the reason to the game window
    // too; with any other the window keeps to what its own board saw.
    if (Features::Answered() && args.size() > 1) {
        _OnGuiThread([id, end = ReadEnd(args[1])] {
            if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
                window->GameEnded(end.first, end.second);
        });
    }
    _PostInfo("Game #" + id + " has ended..." + (args.size() > 1 ? args[1] : std::string()));
}

void ReplyHandlers::Handler120(const std::string&, const Args& args)
{
    if (args.size() < 4)
        return;
    _OnGuiThread([args] {
        MyGames* games = MyGames::Instance();
        if (GameWindowBase* open = games->GetGameReference(args[0])) {
            // A game resent after a lost connection goes on in its window.
            if (open->WaitingToResume()) {
                open->Resume(args[3]);
                return;
            }
            // The game is shown already: a second window would only repeat it.
            open->SetWhitePlayer(args[2]);
            open->SetBlackPlayer(args[1]);
            return;
        }
        // Only a game the user asked to watch opens a window, so a server
        // cannot pile up windows the user never wanted.
        if (!games->TakeWatchRequest(args[0]))
            return;
        game* record = cgc_create_seated_game();
        if (record == nullptr)
            return;
        GameWindowBase* window = Windows().NewWatchedGameWindow(args[0], record, args[3]);
        if (window == nullptr) {
            cgc_free_game(record);
            return;
        }
        window->SetWhitePlayer(args[2]);
        window->SetBlackPlayer(args[1]);
        window->Show();
    });
}

void ReplyHandlers::Handler121(const std::string&, const Args& args)
{
    if (args.size() < 2)
        return;
    BMessage message(MSG_PUBLIC_CHAT);
    message.AddString("user", args[0]);
    message.AddString("channel", "nil");
    message.AddString("message", args[1]);
    fContext.Broadcast(message);
}

void ReplyHandlers::Handler123(const std::string&, const Args& args)
{
    if (args.size() < 3)
        return;
    BMessage message(MSG_GAME_CHAT);
    message.AddString("user", args[0]);
    message.AddString("game_id", args[1]);
    message.AddString("message", args[2]);
    fContext.Broadcast(message);
}

void ReplyHandlers::Handler130(const std::string&, const Args& args)
{
    Features::SetSupported(args);
    _Post(MSG_FEATURES_ANSWERED);
    // The server resends the games it kept for this user before it answers,
    // so a window still waiting now waits in vain.
    _OnGuiThread([] {
        MyGames* games = MyGames::Instance();
        for (const std::string& id : games->GameIds()) {
            if (GameWindowBase* window = games->GetGameReference(id))
                window->ResendMissed();
        }
    });
}

void ReplyHandlers::Handler140(const std::string&, const Args&)
{
    _Post(MSG_SERVER_PING);
}

void ReplyHandlers::Handler141(const std::string&, const Args& args)
{
    int64 seconds = -1;
    if (args.size() < 3 || (args[2] != "back" && !ReadCount(args[2], kLongestGrace, &seconds)))
        return;
    _OnGuiThread([id = args[0], name = args[1], seconds] {
        if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
            window->PlayerAway(name, static_cast<int32>(seconds));
    });
}

void ReplyHandlers::Handler131(const std::string&, const Args& args)
{
    int64 minutes = 0;
    int64 seconds = 0;
    if (args.size() < 3 || !ReadCount(args[1], kLongestControl, &minutes) ||
        !ReadCount(args[2], kLongestControl, &seconds))
        return;
    _OnGuiThread([id = args[0], minutes, seconds] {
        Windows().SetTimeControl(id, static_cast<int32>(minutes), static_cast<int32>(seconds));
    });
}

void ReplyHandlers::Handler132(const std::string&, const Args& args)
{
    int64 white = 0;
    int64 black = 0;
    if (args.size() < 4 || !ReadCount(args[1], kLongestClock, &white) ||
        !ReadCount(args[2], kLongestClock, &black))
        return;
    const int32 running = args[3] == "-" ? -1 : ReadSide(args[3]);
    if (running < 0 && args[3] != "-")
        return;
    _OnGuiThread([id = args[0], white, black, running] {
        if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
            window->SetClocks(white, black, running);
    });
}

void ReplyHandlers::Handler133(const std::string&, const Args& args)
{
    if (args.size() < 3 || ReadSide(args[1]) < 0 ||
        (args[2] != "offer" && args[2] != "decline" && args[2] != "cancel"))
        return;
    _OnGuiThread([id = args[0], side = ReadSide(args[1]), what = args[2]] {
        if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
            window->DrawOfferChanged(side, what);
    });
}

void ReplyHandlers::Handler134(const std::string&, const Args& args)
{
    if (args.size() < 3 || ReadSide(args[1]) < 0)
        return;
    const std::string& what = args[2];
    std::string newId;
    if (what == "new") {
        if (args.size() < 4 || args[3].empty())
            return;
        newId = args[3];
        // The new game's 118 line follows; counting it as a game the user
        // joined lets that line open its window.
        MyGames::Instance()->AddStarted();
    } else if (what != "offer" && what != "decline") {
        return;
    }
    _OnGuiThread([id = args[0], side = ReadSide(args[1]), what, newId] {
        if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
            window->RematchChanged(side, what, newId);
    });
}

void ReplyHandlers::Handler201(const std::string&, const Args&)
{
    _Post(MSG_LOGGED_IN);
}

void ReplyHandlers::Handler401(const std::string&, const Args&)
{
    _Post(MSG_ACCOUNT_CREATED);
}

void ReplyHandlers::Handler402(const std::string&, const Args& args)
{
    // The account may be refused for other reasons than an existing name;
    // the server's reason, when it gives one, goes with the message.
    BMessage message(MSG_ACCOUNT_EXISTS);
    if (!args.empty() && !args[0].empty())
        message.AddString("message", args[0]);
    fContext.Broadcast(message);
}

void ReplyHandlers::Handler403(const std::string&, const Args&)
{
    _Post(MSG_LOGIN_BAD_PASSWORD);
}

void ReplyHandlers::Handler406(const std::string&, const Args& args)
{
    if (args.empty())
        return;
    const std::string& id = args[0];
    _OnGuiThread([id] {
        if (GameWindowBase* window = MyGames::Instance()->GetGameReference(id))
            window->GameGone("The server no longer knows game #" + id +
                             "; no more moves can be made here.");
    });
}

void ReplyHandlers::Handler504(const std::string&, const Args&)
{
    _Post(MSG_LOGIN_DUPLICATE);
}

void ReplyHandlers::Handler601(const std::string&, const Args& args)
{
    if (args.size() < 2)
        return;
    const std::string& id = args[0];
    std::string winner = args[1] == "0" ? "Game Aborted by Black." : "Game Aborted by White.";
    _OnGuiThread([id, winner] {
        Windows().RemoveGame(id);
        GameWindowBase* window = MyGames::Instance()->GetGameReference(id);
        if (window == nullptr)
            return;
        window->SetWhoIsWinner("aborted");
        window->SetWinner(winner);
        Windows().PlayGameAborted();
    });
}

void ReplyHandlers::Handler700(const std::string&, const Args& args)
{
    if (args.size() < 2)
        return;
    _OnGuiThread([user = args[0], rating = args[1]] { Windows().UserIn(user, rating, false); });
}

void ReplyHandlers::Handler701(const std::string&, const Args& args)
{
    if (args.size() < 2)
        return;
    _OnGuiThread([user = args[0], rating = args[1]] { Windows().UserIn(user, rating, true); });
}

void ReplyHandlers::Handler702(const std::string&, const Args& args)
{
    if (args.empty())
        return;
    _OnGuiThread([user = args[0]] { Windows().UserOut(user); });
}

void ReplyHandlers::HandlerIgnored(const std::string&, const Args&) {}

void ReplyHandlers::HandlerArchive(const std::string& code, const Args& args)
{
    _OnGuiThread([code, args] { Windows().ArchiveLine(code, args); });
}

void ReplyHandlers::_Post(uint32_t what)
{
    fContext.Broadcast(BMessage(what));
}

void ReplyHandlers::_PostInfo(const std::string& text)
{
    BMessage message(MSG_INFO_TEXT);
    message.AddString("message", text);
    fContext.Broadcast(message);
}
