#pragma once
// What the lobby's widget tests share: a speaker link that records what
// the views send, and readers of the chat log's coloured runs.

#include "lobby/SpeakerLink.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <string>
#include <vector>

struct RecordedSpeaker
{
    std::string user;
    std::string host;
    std::vector<std::string> lines;
    std::vector<BMessage> posts;
    int resets = 0;
    struct Connect
    {
        std::string host, user, password;
        bool create;
    };
    std::vector<Connect> connects;

    // Binds the process's SpeakerLink to this recorder.
    void Bind()
    {
        SpeakerLink& link = Speaker();
        link.loggedInAs = [this] { return user; };
        link.server = [this] { return host; };
        link.send = [this](const std::string& line) { lines.push_back(line); };
        link.post = [this](const BMessage& message) { posts.push_back(message); };
        link.reset = [this] { ++resets; };
        link.connectWith = [this](const std::string& h, const std::string& u, const std::string& p,
                                  bool c) {
            connects.push_back({h, u, p, c});
        };
    }
};

struct LogRun
{
    std::string text;
    QColor colour;
    bool operator==(const LogRun& other) const
    {
        return text == other.text && colour == other.colour;
    }
};

// Every text run of the log in order, with its colour; each line ends a
// block, so a run never includes the line feed.
inline std::vector<LogRun> Runs(const QPlainTextEdit* log)
{
    std::vector<LogRun> runs;
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            runs.push_back(
                {fragment.text().toStdString(), fragment.charFormat().foreground().color()});
        }
    }
    return runs;
}

inline void PrintTo(const LogRun& run, std::ostream* out)
{
    *out << "\"" << run.text << "\" " << run.colour.name().toStdString();
}

#include "app/GameWindowBase.h"
#include "app/MessageRepeater.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <memory>

// Everything a lobby test needs around it: a private settings directory
// (before anything reads the settings), the broadcast loop running, alerts
// recorded instead of shown, the application's quit request recorded, and
// the speaker link bound to a recorder.
struct LobbyEnvironment
{
    struct Alert
    {
        std::string text;
        std::string button;
    };

    LobbyEnvironment()
    {
        ::setenv("XDG_CONFIG_HOME", fSettingsDirectory.path().toUtf8().constData(), 1);
        MessageRepeater::Instance()->Run();
        ModalAlertFactory::SetPresenter(
            [this](const std::string& text, const std::string& button, AlertType) {
                alerts.push_back({text, button});
                if (onAlert)
                    onAlert();
            });
        kit::SetAppQuitHandler([this] { ++quitRequests; });
        speaker.Bind();
    }

    ~LobbyEnvironment()
    {
        ModalAlertFactory::SetPresenter({});
        kit::SetAppQuitHandler({});
        Speaker() = SpeakerLink();
    }

    std::string SettingsDirectory() const { return fSettingsDirectory.path().toStdString(); }

    QTemporaryDir fSettingsDirectory;
    RecordedSpeaker speaker;
    std::vector<Alert> alerts;
    std::function<void()> onAlert;
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

// A game window that records what the lobby asks of it.
class FakeGameWindow : public GameWindowBase
{
public:
    void Show() override {}
    std::string GameID() const override { return id; }
    game* Game() const override { return nullptr; }
    void MakeMove(char*, bool) override {}
    void SetStatus(const std::string&) override {}
    void SetWinner(const std::string&) override {}
    void SetWhoIsWinner(const std::string&) override {}
    void SetWhitePlayer(const std::string& name) override { white.push_back(name); }
    void SetBlackPlayer(const std::string& name) override { black.push_back(name); }
    void GameGone(const std::string&) override {}

    std::string id;
    std::vector<std::string> white;
    std::vector<std::string> black;
    int quitRequests = 0;

protected:
    bool QuitRequested() override
    {
        ++quitRequests;
        return false;
    }
};
