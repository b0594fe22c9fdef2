#include "xml/UserSettings.h"

#include "kit/ModalAlert.h"

#include <atomic>

UserSettings::UserSettings() : FileXMLReader("tolvar/user-settings", true) {}

UserSettings* UserSettings::Instance()
{
    static UserSettings* const sInstance = new UserSettings();
    // The alert is shown after creation, not inside it: a thread waiting for
    // the alert must never hold the lock that the GUI thread's own first
    // Instance() call would wait for.
    static std::atomic<bool> sAlertShown{false};
    if (sInstance->FileStatus() == kStatusReplaced && !sAlertShown.exchange(true)) {
        ModalAlertFactory::Alert("We regret to inform you that your settings file has been "
                                 "corrupted.  It has been replaced with a fresh copy.",
                                 "Oh, darn!", AlertType::Info);
    }
    return sInstance;
}
