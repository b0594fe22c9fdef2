#include "game/PlayerName.h"

#include "app/AppLocation.h"
#include "cgc/cgc.h"
#include "game/GameWindow.h"
#include "widgets/GenericFunctions.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTimer>

QImage PlayerName::sGoodEndingImage;
QImage PlayerName::sTurnImage;

namespace {

// The name's full size, and the smallest it is shrunk to.
constexpr int kNameSize = 34;
constexpr int kSmallestNameSize = 8;
// The name keeps clear of the turn marker on the left (6 to 34) and of the
// winner marker on the right (267 to 293), on both sides alike, so that it
// stays centred.
constexpr int kNameMargin = 38;

} // namespace

PlayerName::PlayerName(const QRect& frame, const std::string& text, int32 colour, QWidget* parent)
    : QWidget(parent), fColor(colour), fShownColor(colour), fText(PlainText(text))
{
    setGeometry(frame);
    setFont(GenericFunctions::BoldFont(kNameSize));
    if (sGoodEndingImage.isNull())
        _LoadClassImages();
    _FitName();
}

void PlayerName::_FitName()
{
    const int room = width() - 2 * kNameMargin;
    for (int size = kNameSize; size >= kSmallestNameSize; --size) {
        fNameFont = GenericFunctions::BoldFont(size);
        if (QFontMetrics(fNameFont).horizontalAdvance(fText) <= room)
            return;
    }
}

void PlayerName::resizeEvent(QResizeEvent*)
{
    _FitName();
}

PlayerName::~PlayerName() = default;

void PlayerName::_LoadClassImages()
{
    AppLocation* location = AppLocation::Instance();
    sGoodEndingImage.load(
        QString::fromStdString(location->AbsolutePath("resources/graphics/good-ending.png")));
    sTurnImage.load(QString::fromStdString(location->AbsolutePath("resources/graphics/turn.png")));
}

QString PlayerName::PlainText(const std::string& text)
{
    QString plain = QString::fromStdString(text);
    for (QChar& c : plain) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return plain;
}

void PlayerName::SetText(const std::string& text)
{
    QString plain = PlainText(text);
    if (plain == fText)
        return;
    fText = plain;
    _FitName();
    update();
}

std::string PlayerName::Text() const
{
    return fText.toStdString();
}

GameWindow* PlayerName::GameInfo() const
{
    return dynamic_cast<GameWindow*>(window());
}

bool PlayerName::IsBlinking() const
{
    return fBlinkTimer != nullptr;
}

void PlayerName::WinnerDeclared()
{
    if (fBlinkTimer != nullptr)
        return;
    // A child of the panel: the blinking ends when the panel goes.
    fBlinkTimer = new QTimer(this);
    fBlinkTimer->setInterval(kBlinkInterval);
    connect(fBlinkTimer, &QTimer::timeout, this, [this] { _Blink(); });
    _Blink();
    fBlinkTimer->start();
}

void PlayerName::_Blink()
{
    fShownColor = fShownColor == CGC_BLACK ? CGC_WHITE : CGC_BLACK;
    update();
}

bool PlayerName::ShowsTurnMarker() const
{
    GameWindow* window = GameInfo();
    return window != nullptr && fColor == window->Turn() && window->Winner().empty();
}

bool PlayerName::ShowsWinnerMarker() const
{
    GameWindow* window = GameInfo();
    if (window == nullptr)
        return false;
    const std::string who = window->WhoIsWinner();
    return (fColor == CGC_BLACK && who == "black") || (fColor == CGC_WHITE && who == "white");
}

void PlayerName::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool shownBlack = fShownColor == CGC_BLACK;
    fBackColor = shownBlack ? QColor(0, 0, 0) : QColor(255, 255, 255);
    fForeColor = shownBlack ? QColor(255, 255, 255) : QColor(0, 0, 0);

    painter.fillRect(rect(), fBackColor);
    painter.setPen(fForeColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    // The name, centred; drawn as plain text whatever it contains.
    painter.setFont(fNameFont);
    QFontMetrics metrics(fNameFont);
    const int x = (width() - metrics.horizontalAdvance(fText)) / 2;
    const int y = metrics.ascent() + (height() - metrics.ascent()) / 2;
    painter.drawText(QPoint(x, y), fText);

    GameWindow* window = GameInfo();
    if (window == nullptr)
        return;

    // The markers follow the panel's side, not its blinking colour.
    if (ShowsTurnMarker() && !sTurnImage.isNull())
        painter.drawImage(6, 15, sTurnImage);
    if (ShowsWinnerMarker() && !sGoodEndingImage.isNull())
        painter.drawImage(267, 21, sGoodEndingImage);

    // Plain, so that even a two-digit count ends clear of the border.
    painter.setFont(GenericFunctions::PlainFont(11));
    painter.setPen(fForeColor);
    const int32 strength = fColor == CGC_BLACK ? window->BlackStrength() : window->WhiteStrength();
    painter.drawText(QPoint(222, 15), QString("Strength: %1").arg(strength));
}
