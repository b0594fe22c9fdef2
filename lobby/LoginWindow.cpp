#include "lobby/LoginWindow.h"

#include "app/MessageCodes.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"
#include "net/SpeakerLink.h"
#include "widgets/GenericFunctions.h"
#include "xml/UserSettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kFieldLeft = 20;
constexpr int kFieldRight = 280;
constexpr int kFieldHeight = 18;
constexpr int kLabelWidth = 75;
} // namespace

LoginWindow::LoginWindow() : BWindow<QDialog, GuiLooper>(QStringLiteral("Log In"))
{
    setObjectName(QStringLiteral("login"));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setGeometry(GenericFunctions::CenteredFrame(kWidth, kHeight));
    setFixedSize(kWidth, kHeight);
    setFont(GenericFunctions::PlainFont(12));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(216, 216, 216));
    setPalette(background);

    fUser = _AddField(QStringLiteral("User ID:"), 6);
    fPassword = _AddField(QStringLiteral("Password:"), 28);
    fPassword->setEchoMode(QLineEdit::Password);
    fServer = _AddField(QStringLiteral("Server:"), 50);
    fServer->setText(QString::fromStdString(DefaultServer()));

    fCreate = new QCheckBox(QStringLiteral("Create This Account!"), this);
    fCreate->setGeometry(98, 72, 260, kFieldHeight);

    fQuit = new QPushButton(QStringLiteral("Quit"), this);
    fQuit->setGeometry(165, 100, 50, kFieldHeight);
    fQuit->setAutoDefault(false);
    fLogIn = new QPushButton(QStringLiteral("Log In"), this);
    fLogIn->setGeometry(230, 100, 50, kFieldHeight);
    fLogIn->setDefault(true);
    connect(fLogIn, &QPushButton::clicked, this, [this] { PostMessage(MSG_LOGIN_SUBMIT); });
    connect(fQuit, &QPushButton::clicked, this, [this] { PostMessage(MSG_LOGIN_QUIT); });

    setTabOrder(fUser, fPassword);
    setTabOrder(fPassword, fServer);
    setTabOrder(fServer, fCreate);
    setTabOrder(fCreate, fQuit);
    setTabOrder(fQuit, fLogIn);

    std::optional<std::string> last = UserSettings::Instance()->Data("last-username");
    if (last && !last->empty()) {
        fUser->setText(QString::fromStdString(*last));
        fPassword->setFocus();
    } else {
        fUser->setFocus();
    }
}

namespace {
std::string& DefaultServerName()
{
    static std::string sName = "localhost";
    return sName;
}
} // namespace

void LoginWindow::SetDefaultServer(const std::string& server)
{
    DefaultServerName() = server;
}

std::string LoginWindow::DefaultServer()
{
    return DefaultServerName();
}

QLineEdit* LoginWindow::_AddField(const QString& label, int top)
{
    auto* name = new QLabel(this);
    name->setTextFormat(Qt::PlainText);
    name->setText(label);
    name->setGeometry(kFieldLeft, top, kLabelWidth, kFieldHeight);
    auto* field = new QLineEdit(this);
    field->setGeometry(kFieldLeft + kLabelWidth, top, kFieldRight - kFieldLeft - kLabelWidth,
                       kFieldHeight);
    name->setBuddy(field);
    return field;
}

void LoginWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_LOGIN_QUIT:
        kit::PostAppQuitRequest();
        break;
    case MSG_LOGIN_SUBMIT:
        LogIn();
        break;
    default:
        break;
    }
}

bool LoginWindow::QuitRequested()
{
    if (!fSubmitted)
        kit::PostAppQuitRequest();
    return true;
}

void LoginWindow::reject()
{
    close();
}

void LoginWindow::LogIn()
{
    if (fSubmitted)
        return;
    // Texts are taken exactly as typed: a field of blanks is not empty.
    const std::string server = fServer->text().toStdString();
    const std::string user = fUser->text().toStdString();
    const std::string password = fPassword->text().toStdString();
    if (server.empty() || user.empty() || password.empty()) {
        ModalAlertFactory::Alert("I need more info!", "OK");
        return;
    }
    fSubmitted = true;
    // Remembered before connecting, so it stays even when the login fails.
    UserSettings* settings = UserSettings::Instance();
    settings->SetData("last-username", user);
    settings->WriteToFile();
    Speaker().ConnectWith(server, user, password, fCreate->isChecked());
    PostMessage(B_QUIT_REQUESTED);
}
