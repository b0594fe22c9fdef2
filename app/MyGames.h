#pragma once
// The open-game registry: game identifier -> the window showing that game,
// the count of games the user created or joined in this run, and the games
// the user asked to watch whose window has not opened yet.
// Each operation holds one lock for its whole duration; any thread.

#include "kit/Types.h"

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class GameWindowBase;

class MyGames
{
public:
    static MyGames* Instance();

    // Enters `window` under `id`, replacing an earlier entry. Not owned.
    void AddGameReference(const std::string& id, GameWindowBase* window);
    // The window entered under `id`, or null. Never creates an entry.
    GameWindowBase* GetGameReference(const std::string& id);
    void RemoveGameReference(const std::string& id);
    // The identifiers entered now, in key order.
    std::vector<std::string> GameIds();
    // Posts a close request to every window, in key order, then empties the
    // map at once; never waits for a window.
    void RemoveAllGames();

    void AddStarted();
    int32 NumStarted();

    // The user asked to watch game `id`.
    void AddWatchRequest(const std::string& id);
    // True when the user asked to watch `id` and no window has taken that
    // request yet; the request is used up.
    bool TakeWatchRequest(const std::string& id);
    // Forgets every request (the connection they were made on is gone).
    void ClearWatchRequests();

    int CountGames();

    // Forgets every window, watch request and started game, as at start-up;
    // for tests, which run many sessions in one process.
    void ResetForTests();

private:
    MyGames() = default;

    std::mutex fLock;
    std::map<std::string, GameWindowBase*> fGames;
    int32 fStarted = 0;
    std::set<std::string> fWatchRequests;
};
