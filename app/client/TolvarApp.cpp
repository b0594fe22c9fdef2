#include "app/client/TolvarApp.h"

#include "app/AppLocation.h"
#include "app/MessageRepeater.h"
#include "game/QtSoundOutput.h"
#include "kit/GuiBridge.h"
#include "kit/SoundOutput.h"
#include "kit/Threads.h"
#include "lobby/BrowserWindow.h"
#include "lobby/ClientWindows.h"
#include "lobby/LoginWindow.h"
#include "net/TolvarSpeak.h"
#include "widgets/AlertPresenter.h"

#include <QWidget>

#include <memory>

namespace {
constexpr std::chrono::milliseconds kClosingLinesGrace{2000};
// What the remaining threads get to end at exit; a connection thread stuck
// in a host-name lookup is left behind.
constexpr std::chrono::milliseconds kThreadsGrace{500};
} // namespace

TolvarApp::TolvarApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("tolvar");
    setOrganizationName("Tolvar");
    setDesktopFileName("tolvar");
    // Only the lobby's closing, or "Quit", ends the program.
    setQuitOnLastWindowClosed(false);

    widgets::InstallAlertPresenter();
    kit::SetAppQuitHandler([this] { _QuitRequested(); });
    kit::SetSoundOutput(std::make_shared<QtSoundOutput>());
    ClientWindows::Install();

    // Each step relies on the one before: the broadcast loop carries the
    // messages of everything after it, the lobby must be registered before
    // the speaker can report, and the login window goes in front of the
    // lobby.
    MessageRepeater::Instance()->Run();
    BrowserWindow::Instance()->Show();
    TolvarSpeak* speaker = TolvarSpeak::Instance();
    speaker->Run();
    SetSpeakerLink(speaker);
    (new LoginWindow())->Show();
    kit::Sound().RegisterEvent("Tolvar Game Started", AppLocation::Instance()->AbsolutePath(
                                                          "resources/sounds/game-started.wav"));
}

TolvarApp::~TolvarApp() = default;

int TolvarApp::Run()
{
    int result = exec();
    // Nothing may wait for the GUI any more: release waiting threads and
    // stop the loops before objects go away. The closing windows' lines get
    // a moment to leave; a server that has stopped reading cannot hold the
    // exit up longer than that. The program's other threads get a moment to
    // end, and none of them is waited for beyond it.
    kit::ShutDownGui();
    TolvarSpeak::Instance()->Shutdown(kClosingLinesGrace);
    MessageRepeater::Instance()->Quit();
    kit::WaitForThreads(kThreadsGrace);
    return result;
}

void TolvarApp::_QuitRequested()
{
    // Every window is asked to close first (game windows send their closing
    // lines while the connection is still up); one that refuses keeps the
    // application running.
    for (QWidget* window : topLevelWidgets()) {
        if (window->isVisible() && !window->close())
            return;
    }
    quit();
}
