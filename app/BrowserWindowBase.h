#pragma once
// What the protocol handlers need of the lobby window. Every operation runs
// on the GUI thread; callers on other threads use RunLocked().

#include "kit/GuiLooper.h"

#include <string>

class BrowserWindowBase : public GuiLooper
{
public:
    using GuiLooper::GuiLooper;

    virtual void InformAboutGame(const std::string& gameId, const std::string& black,
                                 const std::string& white, const std::string& description) = 0;
    virtual void RemoveGame(const std::string& gameId) = 0;
    virtual void UserIn(const std::string& user, const std::string& rating, bool announce) = 0;
    virtual void UserOut(const std::string& user) = 0;
    virtual void SetStatus(const std::string& text) = 0;
};
