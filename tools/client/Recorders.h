#pragma once
// What a driven client heard and was told: a sound output that records
// every sound it is asked to play, and an alert presenter that records each
// alert and shows it as the program does, until the driver presses its
// button.
//
// GUI thread, except RecordingSound, which any thread may call.

#include "kit/SoundOutput.h"

#include <QPointer>

#include <mutex>
#include <string>
#include <vector>

class QAbstractButton;
class QMessageBox;

class RecordingSound : public SoundOutput
{
public:
    int Load(const std::string& path) override;
    void Play(int handle) override;
    void RegisterEvent(const std::string& name, const std::string& fallbackPath) override;
    void PlayEvent(const std::string& name) override;

    // File names (last path component) of the sounds played, in order;
    // events as "event:" + name.
    std::vector<std::string> Played() const;

private:
    mutable std::mutex fMutex;
    std::vector<std::string> fLoaded;
    std::vector<std::string> fPlayed;
};

class AlertRecorder
{
public:
    struct Alert
    {
        std::string text;
        std::string button;
        bool open = true;
    };

    // Installs the presenter: each alert is recorded, then shown as a
    // modal message box whose exec() returns when its button is pressed.
    void Install();

    std::vector<Alert> Alerts() const { return fAlerts; }
    // The button of the newest alert still shown, or null. Clicking it
    // ends that alert's loop once the click's handler has returned.
    QAbstractButton* NewestButton();

private:
    std::vector<Alert> fAlerts;
    // The boxes shown now, newest last, with their index in fAlerts.
    std::vector<std::pair<QPointer<QMessageBox>, size_t>> fShown;
};

// Microseconds on the system-wide monotonic clock, comparable between
// processes of one machine.
long long MonotonicMicros();
