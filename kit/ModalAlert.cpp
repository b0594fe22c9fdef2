#include "kit/ModalAlert.h"

#include "kit/GuiBridge.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex sMutex;
ModalAlertFactory::Presenter sPresenter;
} // namespace

bool ModalAlertFactory::Alert(const std::string& text, const std::string& button, AlertType type)
{
    Presenter presenter;
    {
        std::lock_guard<std::mutex> lock(sMutex);
        presenter = sPresenter;
    }
    if (!presenter) {
        std::fprintf(stderr, "[alert] %s [%s]\n", text.c_str(), button.c_str());
        return true;
    }
    return kit::RunOnGuiThread([&] { presenter(text, button, type); });
}

void ModalAlertFactory::SetPresenter(Presenter presenter)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sPresenter = std::move(presenter);
}
