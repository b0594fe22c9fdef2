#include "prefs/PreferencesWindow.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "prefs/BoardPreferencesView.h"
#include "prefs/SkinPreferencesView.h"
#include "widgets/GenericFunctions.h"
#include "xml/UserSettings.h"

#include <QPushButton>
#include <QTabWidget>

namespace {
PreferencesWindow* sInstance = nullptr;

const char* const kWatchedKeys[] = {
    "board-skin", "pieces-skin", BoardPreferencesView::kCoordinatesKey,
    BoardPreferencesView::kSoundsKey, BoardPreferencesView::kVolumeKey};
} // namespace

PreferencesWindow* PreferencesWindow::Instance()
{
    if (sInstance == nullptr)
        sInstance = new PreferencesWindow();
    return sInstance;
}

PreferencesWindow::PreferencesWindow()
    : BWindow<QDialog, GuiLooper>(QStringLiteral("User Preferences"))
{
    setObjectName(QStringLiteral("preferences"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight));
    setFixedSize(kWidth, kHeight);
    setFont(GenericFunctions::PlainFont(12));

    fBackground = new QWidget(this);
    fBackground->setObjectName(QStringLiteral("main-full"));
    fBackground->setGeometry(0, 0, kWidth, kHeight);
    fBackground->setAutoFillBackground(true);
    QPalette grey = fBackground->palette();
    grey.setColor(QPalette::Window, QColor(216, 216, 216));
    fBackground->setPalette(grey);

    fTabs = new QTabWidget(fBackground);
    fTabs->setGeometry(10, 10, kWidth - 20, kHeight - 10 - 40);
    fSkins = new SkinPreferencesView();
    fTabs->addTab(fSkins, QStringLiteral("Chess Sets"));
    fBoard = new BoardPreferencesView(fSkins);
    fBoard->setGeometry(5, 165, kWidth - 40, 100);
    for (const char* key : kWatchedKeys)
        fOpening.emplace_back(key, UserSettings::Instance()->Data(key));

    fCancel = new QPushButton(QStringLiteral("Ignore Changes"), fBackground);
    fCancel->setObjectName(QStringLiteral("cancel"));
    fCancel->setGeometry(240, 365, 92, 18);
    fSave = new QPushButton(QStringLiteral("Save Changes"), fBackground);
    fSave->setObjectName(QStringLiteral("ok"));
    fSave->setGeometry(340, 365, 92, 18);
    fSave->setDefault(true);
    // Both labels must fit the 92-pixel buttons.
    for (QPushButton* button : {fCancel, fSave})
        button->setFont(GenericFunctions::PlainFont(11));
    connect(fCancel, &QPushButton::clicked, this, [this] { PostMessage(MSG_DIALOG_CANCEL); });
    connect(fSave, &QPushButton::clicked, this, [this] { PostMessage(MSG_PREFS_SAVE); });

    MessageRepeater::Instance()->AddTarget(this);
}

PreferencesWindow::~PreferencesWindow()
{
    MessageRepeater::Instance()->RemoveTarget(this);
    if (sInstance == this)
        sInstance = nullptr;
}

void PreferencesWindow::MessageReceived(BMessage* message)
{
    if (message->what == MSG_DIALOG_CANCEL)
        _PutBack();
    if (message->what == MSG_PREFS_SAVE || message->what == MSG_DIALOG_CANCEL)
        Quit();
}

void PreferencesWindow::_PutBack()
{
    UserSettings* settings = UserSettings::Instance();
    bool changed = false;
    for (const auto& [key, value] : fOpening) {
        if (settings->Data(key) == value)
            continue;
        // An empty text reads back as no setting at all.
        settings->SetData(key, value.value_or(std::string()));
        changed = true;
    }
    if (!changed)
        return;
    settings->WriteToFile();
    fBoard->ReadSettings();
    MessageRepeater::Instance()->PostMessage(MSG_SKIN_CHANGED);
}
