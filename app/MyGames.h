#pragma once
// The open-game registry: game identifier -> the window showing that game,
// and the count of games the user created or joined in this run.
// Each operation holds one lock for its whole duration; any thread.

#include "kit/Types.h"

#include <map>
#include <mutex>
#include <string>

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
    // Posts a close request to every window, in key order, then empties the
    // map at once; never waits for a window.
    void RemoveAllGames();

    void AddStarted();
    int32 NumStarted();

    int CountGames();

private:
    MyGames() = default;

    std::mutex fLock;
    std::map<std::string, GameWindowBase*> fGames;
    int32 fStarted = 0;
};
