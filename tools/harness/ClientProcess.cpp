#include "ClientProcess.h"

#include <QJsonDocument>

#include <sys/stat.h>

#include <chrono>
#include <thread>

bool ClientProcess::Start(const std::string& name, const std::string& directory, int port,
                          const std::string& platform)
{
    fName = name;
    const std::string home = directory + "/" + name;
    ::mkdir(home.c_str(), 0700);
    ::mkdir((home + "/config").c_str(), 0700);
    ::mkdir((home + "/runtime").c_str(), 0700);
    fLogPath = home + "/client.log";
    std::map<std::string, std::string> environment{
        {"XDG_CONFIG_HOME", home + "/config"},
        {"XDG_RUNTIME_DIR", home + "/runtime"},
    };
    if (!platform.empty())
        environment["QT_QPA_PLATFORM"] = platform;
    fLost = false;
    return fProcess.Start({TOLVAR_E2E_CLIENT, "--port", std::to_string(port)}, environment,
                          fLogPath, true);
}

QJsonObject ClientProcess::Command(const std::string& line, int timeoutMs)
{
    auto failure = [](const std::string& error) {
        return QJsonObject{{"ok", false}, {"error", QString::fromStdString(error)}};
    };
    if (fLost)
        return failure("the client was lost earlier");
    if (!fProcess.WriteLine(line)) {
        fLost = true;
        return failure("the client has gone");
    }
    std::string reply;
    if (!fProcess.ReadLine(&reply, timeoutMs)) {
        fLost = true;
        return failure("no reply to: " + line);
    }
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(reply), &error);
    if (!document.isObject()) {
        fLost = true;
        return failure("not a reply: " + reply);
    }
    return document.object();
}

bool ClientProcess::Do(const std::string& line)
{
    return Command(line).value("ok").toBool();
}

QJsonObject ClientProcess::State(bool brief)
{
    return Command(brief ? "state brief" : "state").value("state").toObject();
}

bool ClientProcess::WaitFor(const std::function<bool(const QJsonObject& state)>& done,
                            int timeoutMs, QJsonObject* last, bool brief)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        QJsonObject state = State(brief);
        const bool holds = !state.isEmpty() && done(state);
        if (last != nullptr)
            *last = state;
        if (holds)
            return true;
        if (fLost || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

bool ClientProcess::Quit(int timeoutMs)
{
    if (!fProcess.Running())
        return false;
    const bool asked = !fLost && Do("quit");
    if (asked && fProcess.Wait(timeoutMs))
        return true;
    fProcess.Kill();
    return false;
}
