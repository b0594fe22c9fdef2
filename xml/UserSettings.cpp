#include "xml/UserSettings.h"

#include "kit/ModalAlert.h"

#include <atomic>
#include <mutex>

namespace {

const char* const kCorruptedAlert = "We regret to inform you that your settings file has been "
                                    "corrupted.  It has been replaced with a fresh copy.";
const char* const kUnreadableAlert = "Your settings file could not be read.  It has been left as "
                                     "it is, and changes made now will not be saved.";

std::mutex sMutex;
UserSettings* sInstance = nullptr;
std::atomic<bool> sAlertShown{false};

} // namespace

UserSettings::UserSettings() : FileXMLReader("tolvar/user-settings", true) {}

UserSettings* UserSettings::Instance()
{
    UserSettings* settings;
    {
        std::lock_guard<std::mutex> lock(sMutex);
        if (sInstance == nullptr)
            sInstance = new UserSettings();
        settings = sInstance;
    }
    // The alert is shown after creation, outside the lock: a thread waiting
    // for the alert must never hold the lock that the GUI thread's own first
    // Instance() call would wait for.
    if (settings->FileStatus() == kStatusReplaced && !sAlertShown.exchange(true)) {
        ModalAlertFactory::Alert(settings->IsUnreadable() ? kUnreadableAlert : kCorruptedAlert,
                                 "Oh, darn!", AlertType::Info);
    }
    return settings;
}

void UserSettings::ResetForTests()
{
    std::lock_guard<std::mutex> lock(sMutex);
    // Without a tree the destructor writes nothing.
    if (sInstance != nullptr)
        sInstance->SetEntityTree(nullptr);
    delete sInstance;
    sInstance = nullptr;
    sAlertShown = false;
}
