#include "app/client/TolvarApp.h"

#include "app/MessageRepeater.h"
#include "kit/GuiBridge.h"
#include "kit/Threads.h"
#include "widgets/AlertPresenter.h"

#include <QWidget>

TolvarApp::TolvarApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("tolvar");
    setOrganizationName("Tolvar");
    setDesktopFileName("tolvar");
    setQuitOnLastWindowClosed(false);

    widgets::InstallAlertPresenter();
    kit::SetAppQuitHandler([this] { _QuitRequested(); });

    MessageRepeater::Instance()->Run();
}

TolvarApp::~TolvarApp() = default;

int TolvarApp::Run()
{
    int result = exec();
    // Nothing may wait for the GUI any more: release waiting threads, stop
    // the loops and wait for the remaining threads before objects go away.
    kit::ShutDownGui();
    MessageRepeater::Instance()->Quit();
    kit::JoinAllThreads();
    return result;
}

void TolvarApp::_QuitRequested()
{
    for (QWidget* window : topLevelWidgets()) {
        if (window->isVisible() && !window->close())
            return;
    }
    quit();
}
