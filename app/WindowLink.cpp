#include "app/WindowLink.h"

namespace {

class NoWindows : public WindowLink
{
public:
    void NewLoginWindow() override {}
    void InformAboutGame(const std::string&, const std::string&, const std::string&,
                         const std::string&) override
    {
    }
    void RemoveGame(const std::string&) override {}
    void UserIn(const std::string&, const std::string&, bool) override {}
    void UserOut(const std::string&) override {}
    GameWindowBase* NewPlayedGameWindow(const std::string&, game*, int32) override
    {
        return nullptr;
    }
    GameWindowBase* NewWatchedGameWindow(const std::string&, game*, const std::string&) override
    {
        return nullptr;
    }
    void PlayGameAborted() override {}
};

NoWindows sNoWindows;
WindowLink* sLink = &sNoWindows;

} // namespace

WindowLink& Windows()
{
    return *sLink;
}

void SetWindowLink(WindowLink* link)
{
    sLink = link != nullptr ? link : &sNoWindows;
}
