#pragma once
// Shared fixtures of the game tests: a sound output that records what would
// be heard, a generated resource tree whose images can be told apart by
// colour, and event-loop waits with a watchdog.

#include "kit/SoundOutput.h"
#include "kit/Types.h"

#include <QColor>
#include <QImage>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <ostream>

class QWidget;

// Lets test failures show colours readably.
void PrintTo(const QColor& colour, std::ostream* out);

// Records every load and play instead of making a sound.
class RecordingSoundOutput : public SoundOutput
{
public:
    int Load(const std::string& path) override;
    void Play(int handle) override;
    void RegisterEvent(const std::string& name, const std::string& fallbackPath) override;
    void PlayEvent(const std::string& name) override;
    void SetVolume(float volume) override { fVolume = volume; }
    float Volume() const { return fVolume; }

    // File names (last path component) of the sounds played, in order;
    // events appear as "event:" + name.
    std::vector<std::string> Played();
    void Clear();

private:
    std::mutex fMutex;
    std::vector<std::string> fLoaded;
    std::vector<std::string> fPlayed;
    std::atomic<float> fVolume{1.0f};
};

namespace testing_support {

// The recorder installed by the test program's main().
RecordingSoundOutput& Sounds();
std::shared_ptr<RecordingSoundOutput> SoundsPointer();

// The directory holding the generated "resources" tree (set as the
// program's directory by main()).
std::string ResourceRoot();

// Colours are plain 8-bit RGBA values, so that they compare equal to the
// pixels read back with Pixel().
// The colour that fills the middle of a piece image of a skin: `letter` is
// a board-text letter ("P" white pawn ... "k" black king).
QColor PieceColour(const std::string& skin, char letter);
// The colour of the dark and light squares of a board skin.
QColor BoardColour(const std::string& skin, bool dark);
QColor TurnMarkerColour();
QColor WinnerMarkerColour();

// Builds the tree: board and piece skins "Standard" and "Wood", a piece skin
// "NoBlackKing" without black-king.png, graphics and silent WAV files.
void CreateResources(const std::string& root);

// Processes events until `done` holds; false when `timeoutMs` ran out first.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// The widget's current picture.
QImage Grab(QWidget* widget);
// A pixel as an 8-bit RGBA colour, comparable with the colours above.
QColor Pixel(const QImage& image, QPoint point);

// Presses the button named `button` of the next modal dialog to appear
// (runs from the event loop; gives up after a watchdog). With an empty name
// the dialog is closed without a choice. `inspect` sees the dialog first.
void AnswerNextModal(const std::string& button, std::function<void(QWidget* dialog)> inspect = {});

// The colour at the middle of a button's picture.
QColor IconColour(QWidget* button);

} // namespace testing_support
