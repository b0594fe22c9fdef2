#pragma once
// Helpers for the lobby's widget tests: a speaker link that records what
// the views send, and readers of the chat log's coloured runs.

#include "lobby/SpeakerLink.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <string>
#include <vector>

struct RecordedSpeaker {
    std::string user;
    std::string host;
    std::vector<std::string> lines;
    std::vector<BMessage> posts;
    int resets = 0;
    struct Connect {
        std::string host, user, password;
        bool create;
    };
    std::vector<Connect> connects;

    // Binds the process's SpeakerLink to this recorder.
    void Bind()
    {
        SpeakerLink& link = Speaker();
        link.loggedInAs = [this] { return user; };
        link.server = [this] { return host; };
        link.send = [this](const std::string& line) { lines.push_back(line); };
        link.post = [this](const BMessage& message) { posts.push_back(message); };
        link.reset = [this] { ++resets; };
        link.connectWith = [this](const std::string& h, const std::string& u,
                                  const std::string& p, bool c) {
            connects.push_back({h, u, p, c});
        };
    }
};

struct LogRun {
    std::string text;
    QColor colour;
    bool operator==(const LogRun& other) const
    {
        return text == other.text && colour == other.colour;
    }
};

// Every text run of the log in order, with its colour; each line ends a
// block, so a run never includes the line feed.
inline std::vector<LogRun> Runs(const QPlainTextEdit* log)
{
    std::vector<LogRun> runs;
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            runs.push_back({fragment.text().toStdString(),
                            fragment.charFormat().foreground().color()});
        }
    }
    return runs;
}

inline void PrintTo(const LogRun& run, std::ostream* out)
{
    *out << "\"" << run.text << "\" " << run.colour.name().toStdString();
}
