#include "game/QtSoundOutput.h"

#include "kit/GuiBridge.h"
#include "xml/UserSettings.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace {

bool IsReadableFile(const std::string& path)
{
    QFileInfo info(QString::fromStdString(path));
    return info.isFile() && info.isReadable();
}

} // namespace

// Shared with the calls posted to the GUI thread, so that they stay valid
// whatever happens to the output object meanwhile.
struct QtSoundOutput::State
{
    std::mutex mutex;
    std::atomic<float> volume{1.0f};
    std::vector<std::string> paths;            // by handle
    std::map<std::string, std::string> events; // name -> fallback file
    // GUI thread only. The effects are children of the application object,
    // so they go with it; QPointer notices that.
    std::map<std::string, QPointer<QSoundEffect>> effects;

    QSoundEffect* Effect(const std::string& path)
    {
        QPointer<QSoundEffect>& effect = effects[path];
        if (effect.isNull()) {
            effect = new QSoundEffect(QCoreApplication::instance());
            effect->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
        }
        return effect;
    }

    std::string EventPath(const std::string& name)
    {
        std::string fallback;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = events.find(name);
            if (it == events.end())
                return {};
            fallback = it->second;
        }
        std::optional<std::string> configured =
            UserSettings::Instance()->Data(QtSoundOutput::EventSettingsKey(name));
        if (configured && IsReadableFile(*configured))
            return *configured;
        return fallback;
    }

    // No device is not an error: the sound is simply not heard. Without
    // one no effect is even made, since making one complains about it.
    static bool HasDevice()
    {
        return QCoreApplication::instance() != nullptr && !QMediaDevices::audioOutputs().isEmpty();
    }

    void PlayOnGuiThread(const std::string& path)
    {
        if (path.empty() || !HasDevice())
            return;
        QSoundEffect* effect = Effect(path);
        // A file that failed to decode stays silent.
        if (effect->status() == QSoundEffect::Error)
            return;
        effect->setVolume(volume.load());
        effect->play();
    }
};

QtSoundOutput::QtSoundOutput() : fState(std::make_shared<State>()) {}

QtSoundOutput::~QtSoundOutput() = default;

int QtSoundOutput::Load(const std::string& path)
{
    if (!IsReadableFile(path))
        return -1;
    int handle;
    {
        std::lock_guard<std::mutex> lock(fState->mutex);
        handle = static_cast<int>(fState->paths.size());
        fState->paths.push_back(path);
    }
    // Decoding starts ahead of the first play, so that the first move is
    // heard without delay.
    if (QCoreApplication::instance() != nullptr) {
        std::shared_ptr<State> state = fState;
        kit::PostToGuiThread([state, path] {
            if (State::HasDevice())
                state->Effect(path);
        });
    }
    return handle;
}

void QtSoundOutput::Play(int handle)
{
    std::string path;
    {
        std::lock_guard<std::mutex> lock(fState->mutex);
        if (handle < 0 || handle >= static_cast<int>(fState->paths.size()))
            return;
        path = fState->paths[handle];
    }
    if (QCoreApplication::instance() == nullptr)
        return;
    std::shared_ptr<State> state = fState;
    kit::PostToGuiThread([state, path] { state->PlayOnGuiThread(path); });
}

void QtSoundOutput::RegisterEvent(const std::string& name, const std::string& fallbackPath)
{
    std::lock_guard<std::mutex> lock(fState->mutex);
    fState->events[name] = fallbackPath;
}

void QtSoundOutput::PlayEvent(const std::string& name)
{
    if (QCoreApplication::instance() == nullptr)
        return;
    std::shared_ptr<State> state = fState;
    // The path is worked out on the GUI thread, where the settings live.
    kit::PostToGuiThread([state, name] { state->PlayOnGuiThread(state->EventPath(name)); });
}

void QtSoundOutput::SetVolume(float volume)
{
    fState->volume = std::clamp(volume, 0.0f, 1.0f);
}

std::string QtSoundOutput::EventSettingsKey(const std::string& name)
{
    std::string rest = name;
    const std::string prefix = "Tolvar ";
    if (rest.compare(0, prefix.size(), prefix) == 0)
        rest.erase(0, prefix.size());
    std::string key = "sound-event-";
    for (char c : rest)
        key += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::string QtSoundOutput::EventPath(const std::string& name) const
{
    return fState->EventPath(name);
}
