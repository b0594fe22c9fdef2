#include "game/GameDialogs.h"

#include "app/AppLocation.h"
#include "xml/UserSettings.h"

#include "widgets/BitmapButton.h"

#include <QPalette>
#include <QWidget>

namespace GameDialogs {

std::string PieceImagePath(const std::string& file)
{
    std::optional<std::string> skin = UserSettings::Instance()->Data("pieces-skin");
    return AppLocation::Instance()->AbsolutePath("resources/chess-sets/pieces/" +
                                                 (skin ? *skin : std::string("Standard")) + file);
}

QWidget* AddBackground(QWidget* window)
{
    auto* background = new QWidget(window);
    background->setObjectName("background");
    background->setGeometry(0, 0, window->width(), window->height());
    background->setAutoFillBackground(true);
    QPalette palette = background->palette();
    palette.setColor(QPalette::Window, QColor(216, 216, 216));
    background->setPalette(palette);
    return background;
}

BitmapButton* AddImageButton(QWidget* parent, const char* name, const std::string& path, int left,
                             int top, std::function<void()> clicked)
{
    // Only the normal-state image: pressed and disabled fall back to it.
    auto* button = new BitmapButton(QRect(left, top, 40, 40), path, "", "", parent);
    button->setObjectName(name);
    QObject::connect(button, &QAbstractButton::clicked, button, std::move(clicked));
    return button;
}

} // namespace GameDialogs
