#pragma once
// What the lobby's widget tests share: the environment of a lobby test and
// waits with a time limit.

#include "app/MessageRepeater.h"
#include "kit/GuiBridge.h"
#include "support/FakeWindows.h"
#include "support/RecordedAlerts.h"
#include "support/RecordingSpeaker.h"
#include "xml/UserSettings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <string>
#include <vector>

// Everything a lobby test needs around it: a private settings directory
// (before anything reads the settings) and an empty registry, the broadcast
// loop running, alerts recorded instead of shown, the application's quit
// request recorded, and a recording speaker.
struct LobbyEnvironment
{
    LobbyEnvironment()
    {
        ::setenv("XDG_CONFIG_HOME", fSettingsDirectory.path().toUtf8().constData(), 1);
        UserSettings::ResetForTests();
        MyGames::Instance()->ResetForTests();
        MessageRepeater::Instance()->Run();
        kit::SetAppQuitHandler([this] { ++quitRequests; });
    }

    ~LobbyEnvironment()
    {
        kit::SetAppQuitHandler({});
        UserSettings::ResetForTests();
        MyGames::Instance()->ResetForTests();
    }

    std::string SettingsDirectory() const { return fSettingsDirectory.path().toStdString(); }
    std::vector<AlertShown> Alerts() { return recorded.Alerts(); }

    QTemporaryDir fSettingsDirectory;
    RecordingSpeaker speaker;
    RecordedAlerts recorded;
    int quitRequests = 0;
};

// Waits, with a time limit, until `done` holds; messages and posted calls
// are handled meanwhile. The limit is the watchdog: a lost message fails
// the test instead of hanging it.
template <typename Predicate> bool WaitFor(Predicate done, int milliseconds = 5000)
{
    return QTest::qWaitFor(done, milliseconds);
}

// Lets every message already queued for the GUI thread, the broadcast
// loop's included, be handled.
inline void Settle()
{
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(10);
        QCoreApplication::processEvents();
    }
}

// The visible top-level widgets with this object name.
inline std::vector<QWidget*> VisibleWindows(const QString& name)
{
    std::vector<QWidget*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == name && window->isVisible())
            found.push_back(window);
    return found;
}
