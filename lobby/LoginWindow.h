#pragma once
// The login dialog: user ID, password, server and "Create This Account!".
// "Log In" checks that the three texts are not empty, remembers the user ID
// in the settings, hands the four values to the protocol speaker and
// closes; connection progress and failures are shown by the lobby. "Quit",
// the close box and Escape all quit the whole program: without a login the
// lobby could do nothing.
//
// Created and shown on the GUI thread by whoever needs a login (start-up,
// the lobby's reset, the speaker); it deletes itself when it closes. The
// "I need more info!" alert nests an event loop; nothing else blocks.

#include "kit/GuiLooper.h"
#include "widgets/BWindow.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

class LoginWindow : public BWindow<QDialog, GuiLooper>
{
public:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 134;
    LoginWindow();

    // The server a new login window offers: "localhost" unless set (the
    // command line's --server). GUI thread only.
    static void SetDefaultServer(const std::string& server);
    static std::string DefaultServer();

    void MessageReceived(BMessage* message) override;
    // Closing the dialog without logging in asks the application to quit.
    bool QuitRequested() override;
    // Escape closes the dialog as the close box does.
    void reject() override;

    // Validates, remembers, connects and closes.
    void LogIn();

    QLineEdit* UserField() const { return fUser; }
    QLineEdit* PasswordField() const { return fPassword; }
    QLineEdit* ServerField() const { return fServer; }
    QCheckBox* CreateBox() const { return fCreate; }
    QPushButton* LogInButton() const { return fLogIn; }
    QPushButton* QuitButton() const { return fQuit; }

private:
    QLineEdit* _AddField(const QString& label, int top);

    QLineEdit* fUser;
    QLineEdit* fPassword;
    QLineEdit* fServer;
    QCheckBox* fCreate;
    QPushButton* fLogIn;
    QPushButton* fQuit;
    // Set once the values went to the speaker: a second "Log In" queued
    // before the dialog closed must not start a second connection.
    bool fSubmitted = false;
};
