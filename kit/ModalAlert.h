#pragma once
// A modal alert with an empty title, one sentence and one button.
//
// Any thread may ask for one; the alert is shown on the GUI thread and the
// asking thread waits until it is dismissed. The GUI installs the presenter
// that draws it; without one (headless runs) the text goes to standard error
// and the call returns at once.

#include <functional>
#include <string>

enum class AlertType
{
    Info,
    Warning,
    Stop
};

class ModalAlertFactory
{
public:
    using Presenter =
        std::function<void(const std::string& text, const std::string& button, AlertType type)>;

    // Blocks until the user pressed the button. Returns false when the alert
    // could not be shown because the GUI has shut down.
    static bool Alert(const std::string& text, const std::string& button,
                      AlertType type = AlertType::Info);

    // Replaces the presenter; it runs on the GUI thread and returns when the
    // alert is dismissed. An empty presenter restores the headless default.
    static void SetPresenter(Presenter presenter);
};
