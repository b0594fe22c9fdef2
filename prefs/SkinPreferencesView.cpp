#include "prefs/SkinPreferencesView.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "kit/BMessage.h"
#include "widgets/GenericFunctions.h"
#include "xml/UserSettings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

#include <filesystem>

namespace {

constexpr const char* kBoardKey = "board-skin";
constexpr const char* kPiecesKey = "pieces-skin";
constexpr const char* kStandard = "Standard";

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

} // namespace

SkinPreferencesView::SkinPreferencesView(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(216, 216, 216));
    setPalette(grey);

    fBox = new QGroupBox(QStringLiteral("Skins"), this);
    fBox->setGeometry(5, 5, 400, 150);

    const QString boardLabel = QStringLiteral("Chess Board: ");
    const QString piecesLabel = QStringLiteral("Chess Pieces: ");
    // One label column for both fields, so the two menus line up.
    const int labelWidth = std::max(GenericFunctions::StringWidth(font(), boardLabel),
                                    GenericFunctions::StringWidth(font(), piecesLabel)) +
                           4;
    fBoards =
        _AddMenu(boardLabel, 45, labelWidth, kBoardsDirectory, kBoardKey, MSG_BOARD_SKIN_CHOSEN);
    fPieces =
        _AddMenu(piecesLabel, 75, labelWidth, kPiecesDirectory, kPiecesKey, MSG_PIECES_SKIN_CHOSEN);
}

void SkinPreferencesView::resizeEvent(QResizeEvent*)
{
    fBox->setGeometry(5, 5, std::max(0, width() - 10), 150);
}

QComboBox* SkinPreferencesView::_AddMenu(const QString& label, int top, int labelWidth,
                                         const char* directory, const char* key, uint32_t chosen)
{
    auto* field = new QWidget(fBox);
    field->setGeometry(25, top, 320, 22);
    auto* name = new QLabel(field);
    name->setTextFormat(Qt::PlainText);
    name->setText(label);
    name->setGeometry(0, 0, labelWidth, 22);
    auto* menu = new QComboBox(field);
    menu->setGeometry(labelWidth, 0, 320 - labelWidth, 22);
    name->setBuddy(menu);

    std::optional<std::string> setting = UserSettings::Instance()->Data(key);
    const std::vector<std::string> names =
        SkinNames(AppLocation::Instance()->AbsolutePath(directory));
    for (const std::string& skin : names)
        menu->addItem(QString::fromStdString(skin));
    // Before an item is marked the field shows the stored name.
    menu->setPlaceholderText(QString::fromStdString(setting.value_or(kStandard)));
    menu->setCurrentIndex(MarkedSkin(names, setting));

    QObject::connect(menu, &QComboBox::activated, this, [this, chosen] {
        BMessage message(chosen);
        MessageReceived(&message);
    });
    return menu;
}

void SkinPreferencesView::MessageReceived(BMessage* message)
{
    if (message->what == MSG_BOARD_SKIN_CHOSEN)
        _Choose(fBoards, kBoardKey);
    else if (message->what == MSG_PIECES_SKIN_CHOSEN)
        _Choose(fPieces, kPiecesKey);
}

void SkinPreferencesView::_Choose(QComboBox* menu, const char* key)
{
    if (menu->currentIndex() < 0)
        return;
    // Stored and announced at once: "Save" and "Ignore" only close the window.
    UserSettings* settings = UserSettings::Instance();
    settings->SetData(key, menu->currentText().toStdString());
    settings->WriteToFile();
    MessageRepeater::Instance()->PostMessage(MSG_SKIN_CHANGED);
}

std::vector<std::string> SkinPreferencesView::SkinNames(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entry(path, error);
    // A missing or unreadable directory gives an empty menu.
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (!EqualIgnoringCase(name, "CVS"))
            names.push_back(name);
    }
    return names;
}

int SkinPreferencesView::MarkedSkin(const std::vector<std::string>& names,
                                    const std::optional<std::string>& setting)
{
    int marked = -1;
    bool settingFound = false;
    for (size_t i = 0; i < names.size(); ++i) {
        if (setting && EqualIgnoringCase(names[i], *setting)) {
            marked = static_cast<int>(i);
            settingFound = true;
        } else if (!settingFound && EqualIgnoringCase(names[i], kStandard)) {
            marked = static_cast<int>(i);
        }
    }
    return marked;
}
