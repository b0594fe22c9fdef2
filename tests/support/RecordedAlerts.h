#pragma once
// Records every modal alert instead of showing it, for as long as it lives.
// Alerts may come from any thread; waits give up after a timeout.

#include "kit/ModalAlert.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct AlertShown
{
    std::string text;
    std::string button;
    bool operator==(const AlertShown&) const = default;
};

class RecordedAlerts
{
public:
    RecordedAlerts()
    {
        ModalAlertFactory::SetPresenter(
            [this](const std::string& text, const std::string& button, AlertType) {
                {
                    std::lock_guard<std::mutex> lock(fMutex);
                    fAlerts.push_back({text, button});
                }
                fChanged.notify_all();
                if (onAlert)
                    onAlert();
            });
    }
    ~RecordedAlerts() { ModalAlertFactory::SetPresenter({}); }

    std::vector<AlertShown> Alerts()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fAlerts;
    }

    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(fMutex);
        return fChanged.wait_for(lock, timeout, [&] { return fAlerts.size() >= count; });
    }

    // Runs after each alert is recorded, as the alert would (on the GUI thread).
    std::function<void()> onAlert;

private:
    std::mutex fMutex;
    std::condition_variable fChanged;
    std::vector<AlertShown> fAlerts;
};
