#include "app/MyGames.h"

#include "app/WindowLink.h"

MyGames* MyGames::Instance()
{
    static MyGames* sInstance = new MyGames();
    return sInstance;
}

void MyGames::AddGameReference(const std::string& id, GameWindowBase* window)
{
    std::lock_guard<std::mutex> lock(fLock);
    fGames[id] = window;
}

GameWindowBase* MyGames::GetGameReference(const std::string& id)
{
    std::lock_guard<std::mutex> lock(fLock);
    auto it = fGames.find(id);
    return it == fGames.end() ? nullptr : it->second;
}

std::vector<std::string> MyGames::GameIds()
{
    std::lock_guard<std::mutex> lock(fLock);
    std::vector<std::string> ids;
    for (const auto& [id, window] : fGames)
        ids.push_back(id);
    return ids;
}

void MyGames::RemoveGameReference(const std::string& id)
{
    std::lock_guard<std::mutex> lock(fLock);
    fGames.erase(id);
}

void MyGames::RemoveAllGames()
{
    std::map<std::string, GameWindowBase*> games;
    {
        std::lock_guard<std::mutex> lock(fLock);
        games.swap(fGames);
    }
    // Posted outside the lock: a window that handles its close request at
    // once (no event loop in tests) removes its own entry, which is gone.
    for (auto& [id, window] : games)
        window->PostMessage(B_QUIT_REQUESTED);
}

void MyGames::AddStarted()
{
    std::lock_guard<std::mutex> lock(fLock);
    ++fStarted;
}

int32 MyGames::NumStarted()
{
    std::lock_guard<std::mutex> lock(fLock);
    return fStarted;
}

void MyGames::AddWatchRequest(const std::string& id)
{
    std::lock_guard<std::mutex> lock(fLock);
    fWatchRequests.insert(id);
}

bool MyGames::TakeWatchRequest(const std::string& id)
{
    std::lock_guard<std::mutex> lock(fLock);
    return fWatchRequests.erase(id) > 0;
}

void MyGames::ClearWatchRequests()
{
    std::lock_guard<std::mutex> lock(fLock);
    fWatchRequests.clear();
}

int MyGames::CountGames()
{
    std::lock_guard<std::mutex> lock(fLock);
    return static_cast<int>(fGames.size());
}

void MyGames::ResetForTests()
{
    std::lock_guard<std::mutex> lock(fLock);
    fGames.clear();
    fStarted = 0;
    fWatchRequests.clear();
}
