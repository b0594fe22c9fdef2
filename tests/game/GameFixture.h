#pragma once
// What the game tests share: a sound output that records what would be
// heard, a session whose server replies go through the real reply handlers
// to the client's own windows, and a fixture that opens game windows,
// drives their boards with the mouse and closes them at the end. Every
// wait processes the GUI's events and gives up after a timeout.

#include "support/FakeContext.h"
#include "support/RecordingSpeaker.h"

#include "cgc/cgc.h"
#include "game/ChessView.h"
#include "game/GameWindow.h"
#include "kit/SoundOutput.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Records the file name of every sound played; events as "event:" + name.
class RecordingSoundOutput : public SoundOutput
{
public:
    int Load(const std::string& path) override;
    void Play(int handle) override;
    void RegisterEvent(const std::string&, const std::string&) override {}
    void PlayEvent(const std::string& name) override;
    void SetVolume(float volume) override { fVolume = volume; }
    float Volume() const { return fVolume; }
    std::vector<std::string> Played();
    void Clear();

private:
    std::mutex fMutex;
    std::vector<std::string> fLoaded;
    std::vector<std::string> fPlayed;
    std::atomic<float> fVolume{1.0f};
};

// The recorder that main() installs as the sound output.
RecordingSoundOutput& Sounds();

// Processes events until `done` holds; false when the time ran out first.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// Presses the button named `button` of the next modal dialog to appear, or
// closes it without a choice when `button` is empty. `inspect` sees it first.
void AnswerNextModal(const std::string& button, std::function<void(QWidget* dialog)> inspect = {});

// A logged-in session without a connection: the speaker records the lines
// the windows send; replies go straight to the handlers on the GUI thread.
class ServerSession
{
public:
    explicit ServerSession(const std::string& user = "alpha");
    ~ServerSession();

    bool WaitForLine(const std::string& line);
    void Reply(const std::string& line);
    std::vector<std::string> LinesStartingWith(const std::string& prefix);
    // What the speaker does when the server goes: it resets and says so.
    void DropConnection();

    RecordingSpeaker speaker;

private:
    FakeContext fContext;
};

class GameFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    GameWindow* OpenPlayed(int32 colour, const std::string& id = "12");
    GameWindow* OpenWatched(const std::string& moves, const std::string& id = "12");
    GameWindow* Open(GameWindow* window);

    // Hands moves to the window as the server's reports do.
    static void Moves(GameWindow* window, const std::vector<std::string>& moves,
                      bool sound = false);
    // The middle of `square` ("E2") in the view, seen from `colour`'s side.
    static QPoint Centre(const std::string& square, int32 colour);
    static void Drag(ChessView* board, const std::string& from, const std::string& to);
    static void Drag(ChessView* board, QPoint from, QPoint to);
    static std::string BoardText(GameWindow* window);
    static char PieceAt(GameWindow* window, const std::string& square);

    std::vector<QPointer<GameWindow>> fWindows;
    std::unique_ptr<QTimer> fWatchdog;
    QTemporaryDir fSettings;
};
