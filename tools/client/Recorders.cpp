#include "Recorders.h"

#include "kit/ModalAlert.h"

#include <QMessageBox>
#include <QPushButton>

#include <ctime>

int RecordingSound::Load(const std::string& path)
{
    std::lock_guard<std::mutex> lock(fMutex);
    const size_t slash = path.rfind('/');
    fLoaded.push_back(slash == std::string::npos ? path : path.substr(slash + 1));
    return static_cast<int>(fLoaded.size()) - 1;
}

void RecordingSound::Play(int handle)
{
    std::lock_guard<std::mutex> lock(fMutex);
    if (handle >= 0 && static_cast<size_t>(handle) < fLoaded.size())
        fPlayed.push_back(fLoaded[static_cast<size_t>(handle)]);
}

void RecordingSound::RegisterEvent(const std::string&, const std::string&) {}

void RecordingSound::PlayEvent(const std::string& name)
{
    std::lock_guard<std::mutex> lock(fMutex);
    fPlayed.push_back("event:" + name);
}

std::vector<std::string> RecordingSound::Played() const
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fPlayed;
}

void AlertRecorder::Install()
{
    ModalAlertFactory::SetPresenter(
        [this](const std::string& text, const std::string& button, AlertType) {
            fAlerts.push_back({text, button, true});
            const size_t index = fAlerts.size() - 1;
            // Shown as the program shows its alerts, so that pictures of the
            // windows look the same: plain text, one button.
            QMessageBox box;
            box.setObjectName(QStringLiteral("alert"));
            box.setWindowTitle(QString());
            box.setTextFormat(Qt::PlainText);
            box.setText(QString::fromStdString(text));
            box.setIcon(QMessageBox::Information);
            QPushButton* pushButton =
                box.addButton(QString::fromStdString(button), QMessageBox::AcceptRole);
            box.setDefaultButton(pushButton);
            box.setEscapeButton(pushButton);
            fShown.emplace_back(&box, index);
            box.exec();
            for (auto it = fShown.begin(); it != fShown.end(); ++it) {
                if (it->second == index) {
                    fShown.erase(it);
                    break;
                }
            }
            fAlerts[index].open = false;
        });
}

QAbstractButton* AlertRecorder::NewestButton()
{
    while (!fShown.empty() && fShown.back().first.isNull())
        fShown.pop_back();
    if (fShown.empty())
        return nullptr;
    const QList<QAbstractButton*> buttons = fShown.back().first->buttons();
    return buttons.isEmpty() ? nullptr : buttons.front();
}

long long MonotonicMicros()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
