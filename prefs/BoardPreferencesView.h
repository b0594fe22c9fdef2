#pragma once
// The "Board and Sounds" box of the preferences: whether boards show their
// coordinates, whether the game sounds are heard, and how loud. Each change
// is stored in the user settings and written at once; a change of the
// coordinates is announced with MSG_SKIN_CHANGED so open boards redraw, and
// the sound system reads the other two before every sound.
//
// A child of the preferences page; GUI thread only.

#include <QGroupBox>

class QCheckBox;
class QSlider;

class BoardPreferencesView : public QGroupBox
{
public:
    // Settings keys and their values: "on"/"off", and 0..100.
    static constexpr const char* kCoordinatesKey = "coordinates";
    static constexpr const char* kSoundsKey = "sounds";
    static constexpr const char* kVolumeKey = "sound-volume";

    explicit BoardPreferencesView(QWidget* parent = nullptr);

    // Shows the stored values again (after they were put back).
    void ReadSettings();

    QCheckBox* Coordinates() const { return fCoordinates; }
    QCheckBox* Sounds() const { return fSounds; }
    QSlider* Volume() const { return fVolume; }

private:
    static void _Store(const char* key, const std::string& value, bool announce);

    QCheckBox* fCoordinates;
    QCheckBox* fSounds;
    QSlider* fVolume;
};
