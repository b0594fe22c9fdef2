#include "lobby/UserPanel.h"

#include "app/MessageCodes.h"
#include "kit/BMessage.h"
#include "lobby/SpeakerLink.h"
#include "widgets/GenericFunctions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {
const QColor kOwnName(0, 255, 0);
const QColor kOtherName(255, 0, 0);
const QColor kText(255, 255, 255);
const QColor kNotice(255, 0, 255);
constexpr int kEntryHeight = 20;
constexpr int kLabelWidth = 35;
} // namespace

UserPanel::UserPanel(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    if (frame.isValid())
        setGeometry(frame);
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
    _Layout();
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
    fLog->clear();
}

void UserPanel::ReceivedMessage(const std::string& user, const std::string&,
                                const std::string& message)
{
    bool own = user == Speaker().LoggedInAs();
    _Append(QString::fromStdString(user), own ? kOwnName : kOtherName);
    _Append(QStringLiteral(": ") + QString::fromStdString(message) + QLatin1Char('\n'), kText);
    _ScrollToNewest();
}

void UserPanel::ReceivedNotification(const std::string& text)
{
    _Append(QStringLiteral("System: ") + QString::fromStdString(text) + QLatin1Char('\n'), kNotice);
    _ScrollToNewest();
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

void UserPanel::_Append(const QString& text, const QColor& colour)
{
    QTextCharFormat format;
    format.setForeground(colour);
    format.setFont(fLog->font());
    QTextCursor end(fLog->document());
    end.movePosition(QTextCursor::End);
    // insertText takes the text literally: markup in a chat line stays text.
    end.insertText(text, format);
}

void UserPanel::_ScrollToNewest()
{
    // One visible page further down, which the scroll bar limits to the end:
    // the newest line comes into view without jumping when the reader has
    // scrolled back a long way.
    QScrollBar* bar = fLog->verticalScrollBar();
    bar->setValue(bar->value() + bar->pageStep());
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
    Speaker().Post(send);
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
