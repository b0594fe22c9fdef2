#include "game/GameDialogs.h"

#include "app/AppLocation.h"
#include "xml/UserSettings.h"

#include <QIcon>
#include <QPixmap>
#include <QPushButton>

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

QPushButton* AddImageButton(QWidget* parent, const char* name, const std::string& path, int left,
                            int top, std::function<void()> clicked)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setGeometry(left, top, 40, 40);
    QPixmap image(QString::fromStdString(path));
    if (!image.isNull()) {
        button->setIcon(QIcon(image));
        button->setIconSize(QSize(36, 36));
    }
    button->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(button, &QPushButton::clicked, button, std::move(clicked));
    return button;
}

} // namespace GameDialogs
