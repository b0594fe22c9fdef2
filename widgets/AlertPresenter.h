#pragma once
// The Qt presenter of ModalAlertFactory: a modal message box with an empty
// title, the text as plain text, one button sized to its label; Escape
// presses it.

namespace widgets {
void InstallAlertPresenter();
}
