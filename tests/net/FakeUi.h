#pragma once
// Fake lobby and game windows for the reply handler tests, installed as the
// UI hooks. Each call is logged as one line of text, together with whether
// it ran on the GUI thread (every thread counts when there is no application).

#include "app/BrowserWindowBase.h"
#include "app/GameWindowBase.h"
#include "app/MyGames.h"
#include "app/UiHooks.h"
#include "cgc/cgc.h"
#include "kit/GuiBridge.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CallLog
{
public:
    void Add(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fCalls.push_back(call);
        if (!kit::IsGuiThread())
            fOffGuiThread = true;
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

private:
    std::mutex fMutex;
    std::vector<std::string> fCalls;
    bool fOffGuiThread = false;
};

// Registers itself in the open-game registry and owns its record, as the
// real game window does.
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
        if (MyGames::Instance()->GetGameReference(fId) == this)
            MyGames::Instance()->RemoveGameReference(fId);
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

    char lastMove[8] = {};

private:
    std::string fId;
    game* fRecord;
    CallLog& fLog;
};

class FakeLobby : public BrowserWindowBase
{
public:
    explicit FakeLobby(CallLog& log) : fLog(log) {}
    void InformAboutGame(const std::string& id, const std::string& black, const std::string& white,
                         const std::string& description) override
    {
        fLog.Add("lobby InformAboutGame " + id + "|" + black + "|" + white + "|" + description);
    }
    void RemoveGame(const std::string& id) override { fLog.Add("lobby RemoveGame " + id); }
    void UserIn(const std::string& user, const std::string& rating, bool announce) override
    {
        fLog.Add("lobby UserIn " + user + " " + rating + (announce ? " announce" : ""));
    }
    void UserOut(const std::string& user) override { fLog.Add("lobby UserOut " + user); }
    void SetStatus(const std::string& text) override { fLog.Add("lobby SetStatus " + text); }

private:
    CallLog& fLog;
};

// The whole fake UI; Install() points the hooks at it.
struct FakeUi
{
    CallLog log;
    FakeLobby lobby{log};
    std::vector<std::unique_ptr<FakeGameWindow>> windows;
    int loginWindows = 0;

    void Install()
    {
        UiHooks& hooks = Hooks();
        hooks.lobby = [this] { return &lobby; };
        hooks.newLoginWindow = [this] {
            ++loginWindows;
            log.Add("newLoginWindow");
        };
        hooks.newPlayedGameWindow = [this](const std::string& id, game* record, int32 colour) {
            log.Add("newPlayedGameWindow " + id + " " + (colour == CGC_WHITE ? "white" : "black"));
            windows.push_back(std::make_unique<FakeGameWindow>(id, record, log));
            return windows.back().get();
        };
        hooks.newWatchedGameWindow = [this](const std::string& id, game* record,
                                            const std::string& moves) {
            log.Add("newWatchedGameWindow " + id + " " + moves);
            windows.push_back(std::make_unique<FakeGameWindow>(id, record, log));
            return windows.back().get();
        };
        hooks.playGameAborted = [this] { log.Add("playGameAborted"); };
    }
    ~FakeUi() { Hooks() = UiHooks{}; }
};
