#include "widgets/UserPanel.h"

#include "app/MessageCodes.h"
#include "kit/BMessage.h"
#include "net/SpeakerLink.h"
#include "widgets/GenericFunctions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

namespace {
const QColor kOwnName(0, 255, 0);
const QColor kOtherName(255, 0, 0);
const QColor kText(255, 255, 255);
const QColor kNotice(255, 0, 255);
constexpr int kEntryHeight = 20;
constexpr int kLabelWidth = 35;
} // namespace

UserPanel::UserPanel(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(216, 216, 216));
    setPalette(background);

    fLog = new QPlainTextEdit(this);
    fLog->setReadOnly(true);
    fLog->setUndoRedoEnabled(false);
    fLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    fLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    fLog->setFrameShadow(QFrame::Raised);
    fLog->setFont(GenericFunctions::PlainFont(11));
    // One block per line plus the empty one after the last line feed.
    fLog->setMaximumBlockCount(kMaxLogLines + 1);
    QPalette black = fLog->palette();
    black.setColor(QPalette::Base, Qt::black);
    black.setColor(QPalette::Text, Qt::white);
    fLog->setPalette(black);

    fSendLabel = new QLabel(this);
    fSendLabel->setTextFormat(Qt::PlainText);
    fSendLabel->setText(QStringLiteral("Send:"));
    fEntry = new QLineEdit(this);
    fSendLabel->setBuddy(fEntry);
    connect(fEntry, &QLineEdit::returnPressed, this, [this] {
        BMessage send(MSG_CHAT_SEND);
        MessageReceived(&send);
    });
    fFlushTimer = new QTimer(this);
    fFlushTimer->setSingleShot(true);
    connect(fFlushTimer, &QTimer::timeout, this, [this] { _Flush(kFlushSlice); });
    _Layout();
}

QPlainTextEdit* UserPanel::Log()
{
    _Flush(fPending.size());
    return fLog;
}

void UserPanel::SetEnabled(bool enabled)
{
    fEntry->setEnabled(enabled);
    fSendLabel->setEnabled(enabled);
}

bool UserPanel::IsEnabled() const
{
    return fEntry->isEnabled();
}

void UserPanel::Reset()
{
    fPending.clear();
    fLog->clear();
}

void UserPanel::ReceivedMessage(const std::string& user, const std::string&,
                                const std::string& message)
{
    bool own = user == Speaker().LoggedInAs();
    _Append({{QString::fromStdString(user), own ? kOwnName : kOtherName},
             {QStringLiteral(": ") + QString::fromStdString(message), kText}});
}

void UserPanel::ReceivedNotification(const std::string& text)
{
    _Append({{QStringLiteral("System: ") + QString::fromStdString(text), kNotice}});
}

void UserPanel::MessageReceived(BMessage* message)
{
    if (message->what == MSG_CHAT_SEND)
        _Send();
}

void UserPanel::resizeEvent(QResizeEvent*)
{
    _Layout();
}

void UserPanel::_Append(Line line)
{
    // A hostile server's lines of 64 KiB each would grow the log to hundreds
    // of megabytes and stall its layout: a line is cut after kMaxLineLength
    // characters (never inside a surrogate pair) and ends in an ellipsis.
    qsizetype left = kMaxLineLength;
    for (size_t i = 0; i < line.size(); ++i) {
        QString& text = line[i].text;
        if (text.size() <= left) {
            left -= text.size();
            continue;
        }
        if (left > 0 && text.at(left - 1).isHighSurrogate())
            --left;
        text.truncate(left);
        text += QChar(0x2026);
        line.resize(i + 1);
        break;
    }
    line.back().text += QLatin1Char('\n');
    fPending.push_back(std::move(line));
    // Older lines would leave the log as soon as they were in it.
    if (fPending.size() > static_cast<size_t>(kMaxLogLines))
        fPending.pop_front();
    if (fFlushTimer->isActive())
        return;
    // The first line after a quiet spell shows at once; the ones close
    // behind it wait for the rest of the interval, which grows with the
    // time the last flush took, so that a steady stream of lines leaves the
    // GUI thread most of its time.
    const qint64 interval = std::max<qint64>(kFlushInterval, 3 * fLastFlushTime);
    const qint64 since = fSinceFlush.isValid() ? fSinceFlush.elapsed() : interval;
    fFlushTimer->start(static_cast<int>(std::max<qint64>(0, interval - since)));
}

void UserPanel::_Flush(size_t most)
{
    fFlushTimer->stop();
    const size_t count = std::min(most, fPending.size());
    if (count == 0)
        return;
    QElapsedTimer took;
    took.start();
    QTextCursor end(fLog->document());
    end.movePosition(QTextCursor::End);
    end.beginEditBlock();
    for (size_t i = 0; i < count; ++i) {
        for (const Run& run : fPending[i]) {
            QTextCharFormat format;
            format.setForeground(run.colour);
            format.setFont(fLog->font());
            // insertText takes the text literally: markup in a chat line stays text.
            end.insertText(run.text, format);
        }
    }
    end.endEditBlock();
    fPending.erase(fPending.begin(), fPending.begin() + static_cast<std::ptrdiff_t>(count));
    // One visible page further down per line, which the scroll bar limits
    // to the end: the newest line comes into view without jumping when the
    // reader has scrolled back a long way.
    QScrollBar* bar = fLog->verticalScrollBar();
    const qint64 step = static_cast<qint64>(bar->pageStep()) * static_cast<qint64>(count);
    bar->setValue(static_cast<int>(std::min<qint64>(bar->maximum(), bar->value() + step)));
    fLastFlushTime = took.elapsed();
    fSinceFlush.start();
    // The rest once the events that waited meanwhile (input) are handled.
    if (!fPending.empty())
        fFlushTimer->start(0);
}

void UserPanel::_Send()
{
    QString text = fEntry->text();
    if (text.isEmpty())
        return;
    BMessage send(MSG_CHAT_SEND);
    if (!fGameID.empty())
        send.AddString("game_id", fGameID);
    send.AddString("data", text.toStdString());
    Speaker().PostMessage(send);
    fEntry->clear();
    fEntry->setFocus();
}

void UserPanel::_Layout()
{
    QRect inner = rect().adjusted(1, 2, -1, -2);
    fLog->setGeometry(inner.left(), inner.top(), inner.width(),
                      std::max(0, inner.height() - kEntryHeight - 3));
    int entryTop = inner.bottom() - kEntryHeight + 1;
    fSendLabel->setGeometry(inner.left(), entryTop, kLabelWidth, kEntryHeight);
    fEntry->setGeometry(inner.left() + kLabelWidth, entryTop,
                        std::max(0, width() - 10 - inner.left() - kLabelWidth), kEntryHeight);
}
