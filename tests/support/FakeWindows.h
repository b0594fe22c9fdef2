#pragma once
// The windows as the protocol layer sees them, faked: a WindowLink and game
// windows that log each call as one line of text, noting whether it ran on
// the GUI thread (every thread counts when there is no application). A
// FakeWindows is the process's WindowLink for as long as it lives.

#include "app/MyGames.h"
#include "app/WindowLink.h"
#include "cgc/cgc.h"
#include "kit/GuiBridge.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CallLog
{
public:
    void Add(const std::string& call)
    {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            fCalls.push_back(call);
            fOffGuiThread = fOffGuiThread || !kit::IsGuiThread();
        }
        if (onCall)
            onCall(call);
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fCalls;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fCalls.clear();
    }
    bool AnyOffGuiThread()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fOffGuiThread;
    }

    // Runs after each call is logged, on the caller's thread.
    std::function<void(const std::string& call)> onCall;

private:
    std::mutex fMutex;
    std::vector<std::string> fCalls;
    bool fOffGuiThread = false;
};

// Registers itself in the open-game registry, owns its record (which may be
// null) and leaves the registry when asked to close, as a game window does
// (unless `leaveOnClose` is cleared).
class FakeGameWindow : public GameWindowBase
{
public:
    FakeGameWindow(std::string id, game* record, CallLog& log)
        : fId(std::move(id)), fRecord(record), fLog(log)
    {
        MyGames::Instance()->AddGameReference(fId, this);
    }
    ~FakeGameWindow() override
    {
        _Leave();
        if (fRecord != nullptr)
            cgc_free_game(fRecord);
    }
    void Show() override { fLog.Add(fId + " Show"); }
    std::string GameID() const override { return fId; }
    game* Game() const override { return fRecord; }
    void MakeMove(char* move, bool sound) override
    {
        std::copy(move, move + 8, lastMove);
        fLog.Add(fId + " MakeMove " + move + (sound ? " sound" : ""));
    }
    void SetStatus(const std::string& text) override { fLog.Add(fId + " SetStatus " + text); }
    void SetWinner(const std::string& text) override { fLog.Add(fId + " SetWinner " + text); }
    void SetWhoIsWinner(const std::string& who) override
    {
        fLog.Add(fId + " SetWhoIsWinner " + who);
    }
    void SetWhitePlayer(const std::string& name) override
    {
        fLog.Add(fId + " SetWhitePlayer " + name);
    }
    void SetBlackPlayer(const std::string& name) override
    {
        fLog.Add(fId + " SetBlackPlayer " + name);
    }
    void GameGone(const std::string& why) override { fLog.Add(fId + " GameGone " + why); }
    void SetClocks(int64 white, int64 black, int32 running) override
    {
        fLog.Add(fId + " SetClocks " + std::to_string(white) + " " + std::to_string(black) + " " +
                 Side(running));
    }
    void DrawOfferChanged(int32 side, const std::string& what) override
    {
        fLog.Add(fId + " Draw " + Side(side) + " " + what);
    }
    void RematchChanged(int32 side, const std::string& what, const std::string& newId) override
    {
        fLog.Add(fId + " Rematch " + Side(side) + " " + what + (newId.empty() ? "" : " " + newId));
    }
    void GameEnded(const std::string& reason, const std::string& who) override
    {
        fLog.Add(fId + " GameEnded " + reason + "|" + who);
    }
    void PlayerAway(const std::string& name, int32 seconds) override
    {
        fLog.Add(fId + " PlayerAway " + name + " " + std::to_string(seconds));
    }
    static std::string Side(int32 side) { return side < 0 ? "none" : side ? "white" : "black"; }

    char lastMove[8] = {};
    bool leaveOnClose = true;

protected:
    bool QuitRequested() override
    {
        fLog.Add(fId + " QuitRequested");
        if (leaveOnClose)
            _Leave();
        return true;
    }

private:
    void _Leave()
    {
        if (MyGames::Instance()->GetGameReference(fId) == this)
            MyGames::Instance()->RemoveGameReference(fId);
    }

    std::string fId;
    game* fRecord;
    CallLog& fLog;
};

class FakeWindows : public WindowLink
{
public:
    FakeWindows() { SetWindowLink(this); }
    ~FakeWindows() override { SetWindowLink(nullptr); }

    void NewLoginWindow() override { log.Add("newLoginWindow"); }
    void InformAboutGame(const std::string& id, const std::string& black, const std::string& white,
                         const std::string& description) override
    {
        log.Add("lobby InformAboutGame " + id + "|" + black + "|" + white + "|" + description);
    }
    void RemoveGame(const std::string& id) override { log.Add("lobby RemoveGame " + id); }
    void UserIn(const std::string& user, const std::string& rating, bool announce) override
    {
        log.Add("lobby UserIn " + user + " " + rating + (announce ? " announce" : ""));
    }
    void UserOut(const std::string& user) override { log.Add("lobby UserOut " + user); }
    GameWindowBase* NewPlayedGameWindow(const std::string& id, game* record, int32 colour) override
    {
        log.Add("newPlayedGameWindow " + id + " " + (colour == CGC_WHITE ? "white" : "black"));
        return _Open(id, record);
    }
    GameWindowBase* NewWatchedGameWindow(const std::string& id, game* record,
                                         const std::string& moves) override
    {
        log.Add("newWatchedGameWindow " + id + " " + moves);
        return _Open(id, record);
    }
    void PlayGameAborted() override { log.Add("playGameAborted"); }
    void SetTimeControl(const std::string& id, int32 minutes, int32 seconds) override
    {
        log.Add("lobby SetTimeControl " + id + " " + std::to_string(minutes) + "+" +
                std::to_string(seconds));
    }

    CallLog log;
    std::vector<std::unique_ptr<FakeGameWindow>> windows;
    // False: the link makes no game window, as when one cannot be made.
    bool makeWindows = true;

private:
    GameWindowBase* _Open(const std::string& id, game* record)
    {
        if (!makeWindows)
            return nullptr;
        windows.push_back(std::make_unique<FakeGameWindow>(id, record, log));
        return windows.back().get();
    }
};
