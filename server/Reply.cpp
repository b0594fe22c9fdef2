#include "server/Reply.h"

#include "server/TextRules.h"

namespace tolvar::server::Reply {

namespace {

// Joins the code and the words with single blanks and appends the ":" field
// when one is given, then the line end.
std::string Line(std::string_view code, std::initializer_list<std::string_view> words,
                 const std::string_view* text = nullptr)
{
    std::string line(code);
    for (std::string_view word : words) {
        line += ' ';
        line += word;
    }
    if (text) {
        line += " :";
        line += *text;
    }
    line += '\n';
    return line;
}

// A client's own word is echoed back at most this long, so that every
// reply stays readable for the client.
constexpr std::size_t kEchoBytes = 20;

std::string Number(std::int64_t value)
{
    return std::to_string(value);
}

} // namespace

std::string Greeting(std::string_view description)
{
    return Line("101", {kProtocolVersion}, &description);
}

std::string Moved(std::int64_t game, int ply, std::string_view move)
{
    return Line("114", {Number(game), Number(ply), move});
}

std::string PublicChat(std::string_view user, std::string_view text)
{
    return Line("115", {user, kPublicChannel}, &text);
}

std::string GameInfo(std::int64_t game, std::string_view black, std::string_view white,
                     std::string_view description)
{
    std::string id = Number(game);
    const std::string_view* text = description.empty() ? nullptr : &description;
    if (white.empty())
        return Line("118", {id, "1", "0", black}, text);
    if (black.empty())
        return Line("118", {id, "0", "1", white}, text);
    return Line("118", {id, "1", "1", black, white}, text);
}

std::string GameEnded(std::int64_t game, std::string_view reason)
{
    // The client prints "has ended..." directly before the reason, so the
    // reason starts with a blank.
    std::string text = " " + std::string(reason);
    std::string_view view = text;
    return Line("119", {Number(game)}, &view);
}

std::string Watching(std::int64_t game, std::string_view black, std::string_view white,
                     std::string_view moves)
{
    return Line("120", {Number(game), black, white}, &moves);
}

std::string GameChat(std::string_view user, std::int64_t game, std::string_view text)
{
    return Line("123", {user, Number(game)}, &text);
}

std::string LoggedIn(std::string_view user)
{
    std::string text = "welcome, " + std::string(user);
    std::string_view view = text;
    return Line("201", {}, &view);
}

std::string AccountCreated(std::string_view user)
{
    std::string text = "account " + std::string(user) + " created";
    std::string_view view = text;
    return Line("401", {}, &view);
}

std::string AccountRefused(std::string_view reason)
{
    return Line("402", {}, &reason);
}

std::string LoginRefused()
{
    std::string_view text = "unknown name or wrong password";
    return Line("403", {}, &text);
}

std::string Refused(std::string_view reason)
{
    return Line("404", {}, &reason);
}

std::string MoveRefused(std::int64_t game, std::string_view move, std::string_view reason)
{
    return Line("405", {Number(game), Shortened(move, kEchoBytes)}, &reason);
}

std::string NoSuchGame(std::string_view game)
{
    std::string_view text = "no such game";
    return Line("406", {Shortened(game, kEchoBytes)}, &text);
}

std::string NotAllowed(std::string_view reason)
{
    return Line("407", {}, &reason);
}

std::string ResultDelayed(std::int64_t game)
{
    std::string_view text =
        "the server cannot record results right now; this result follows once it is stored";
    return Line("408", {Number(game)}, &text);
}

std::string Unavailable(std::string_view reason)
{
    return Line("503", {}, &reason);
}

std::string AlreadyLoggedIn(std::string_view user)
{
    std::string text = std::string(user) + " is already logged in";
    std::string_view view = text;
    return Line("504", {}, &view);
}

std::string Aborted(std::int64_t game, int side)
{
    return Line("601", {Number(game), Number(side)});
}

std::string Features(std::string_view words)
{
    return words.empty() ? Line("130", {}) : Line("130", {words});
}

std::string Ping()
{
    return "140\n";
}

std::string PlayerAway(std::int64_t game, std::string_view user, long long seconds)
{
    return Line("141", {Number(game), user, std::to_string(seconds)});
}

std::string PlayerBack(std::int64_t game, std::string_view user)
{
    return Line("141", {Number(game), user, "back"});
}

std::string TimeControlOf(std::int64_t game, int minutes, int seconds)
{
    return Line("131", {Number(game), Number(minutes), Number(seconds)});
}

std::string ClockState(std::int64_t game, std::int64_t whiteMs, std::int64_t blackMs, int running)
{
    return Line("132", {Number(game), Number(whiteMs), Number(blackMs),
                        running < 0 ? "-" : Number(running)});
}

std::string DrawNews(std::int64_t game, int side, std::string_view what)
{
    return Line("133", {Number(game), Number(side), what});
}

std::string RematchNews(std::int64_t game, int side, std::string_view what, std::int64_t newGame)
{
    if (newGame > 0)
        return Line("134", {Number(game), Number(side), what, Number(newGame)});
    return Line("134", {Number(game), Number(side), what});
}

std::string UserOnline(std::string_view user, int rating)
{
    return Line("700", {user, Number(rating)});
}

std::string UserArrived(std::string_view user, int rating)
{
    return Line("701", {user, Number(rating)});
}

std::string UserLeft(std::string_view user)
{
    return Line("702", {user});
}

} // namespace tolvar::server::Reply
