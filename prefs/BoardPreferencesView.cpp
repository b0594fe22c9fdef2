#include "prefs/BoardPreferencesView.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "xml/UserSettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

#include <string>

namespace {

bool IsOn(const char* key)
{
    std::optional<std::string> value = UserSettings::Instance()->Data(key);
    return !value || *value != "off";
}

} // namespace

BoardPreferencesView::BoardPreferencesView(QWidget* parent)
    : QGroupBox(QStringLiteral("Board and Sounds"), parent)
{
    fCoordinates = new QCheckBox(QStringLiteral("Coordinates"), this);
    fCoordinates->setGeometry(25, 30, 200, 22);
    fSounds = new QCheckBox(QStringLiteral("Sounds"), this);
    fSounds->setGeometry(25, 60, 100, 22);
    auto* volumeLabel = new QLabel(QStringLiteral("Volume:"), this);
    volumeLabel->setGeometry(130, 60, 60, 22);
    fVolume = new QSlider(Qt::Horizontal, this);
    fVolume->setRange(0, 100);
    fVolume->setGeometry(190, 60, 150, 22);
    volumeLabel->setBuddy(fVolume);
    ReadSettings();

    connect(fCoordinates, &QCheckBox::toggled, this,
            [](bool on) { _Store(kCoordinatesKey, on ? "on" : "off", true); });
    connect(fSounds, &QCheckBox::toggled, this, [this](bool on) {
        fVolume->setEnabled(on);
        _Store(kSoundsKey, on ? "on" : "off", false);
    });
    // Written when the slider is let go (or moved by the keys), not on
    // every step of a drag.
    connect(fVolume, &QSlider::valueChanged, this, [this](int value) {
        if (!fVolume->isSliderDown())
            _Store(kVolumeKey, std::to_string(value), false);
    });
    connect(fVolume, &QSlider::sliderReleased, this,
            [this] { _Store(kVolumeKey, std::to_string(fVolume->value()), false); });
}

void BoardPreferencesView::ReadSettings()
{
    const QSignalBlocker blockCoordinates(fCoordinates);
    const QSignalBlocker blockSounds(fSounds);
    const QSignalBlocker blockVolume(fVolume);
    fCoordinates->setChecked(IsOn(kCoordinatesKey));
    fSounds->setChecked(IsOn(kSoundsKey));
    std::optional<std::string> volume = UserSettings::Instance()->Data(kVolumeKey);
    bool number = false;
    const int value = volume ? QString::fromStdString(*volume).toInt(&number) : 100;
    fVolume->setValue(number || !volume ? std::clamp(value, 0, 100) : 100);
    fVolume->setEnabled(fSounds->isChecked());
}

void BoardPreferencesView::_Store(const char* key, const std::string& value, bool announce)
{
    UserSettings* settings = UserSettings::Instance();
    settings->SetData(key, value);
    settings->WriteToFile();
    if (announce)
        MessageRepeater::Instance()->PostMessage(MSG_SKIN_CHANGED);
}
