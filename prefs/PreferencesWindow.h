#pragma once
// The preferences window "User Preferences": one tab, "Chess Sets", with
// the board and piece skin menus and the board and sound switches. A change
// is saved and applied the moment it is made; "Save Changes" keeps the
// changes and closes the window, "Ignore Changes" puts back the values that
// were in effect when the window opened, then closes it. One instance at a time: closing destroys
// it, and the next Instance() builds a new one, reading the settings again.
//
// Registered with the broadcast loop while it exists. GUI thread only;
// never blocks.

#include "kit/GuiLooper.h"
#include "widgets/BWindow.h"

#include <QDialog>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class QPushButton;
class QTabWidget;
class BoardPreferencesView;
class SkinPreferencesView;

class PreferencesWindow : public BWindow<QDialog, GuiLooper>
{
public:
    static constexpr int kWidth = 450;
    static constexpr int kHeight = 400;

    // The open window, or a new hidden one.
    static PreferencesWindow* Instance();
    ~PreferencesWindow() override;

    // MSG_PREFS_SAVE closes the window; MSG_DIALOG_CANCEL puts the settings
    // back first. Others are dropped.
    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override { return true; }

    SkinPreferencesView* Skins() const { return fSkins; }
    BoardPreferencesView* Board() const { return fBoard; }
    QPushButton* SaveButton() const { return fSave; }
    QPushButton* CancelButton() const { return fCancel; }

private:
    PreferencesWindow();
    void _PutBack();

    QWidget* fBackground;
    QTabWidget* fTabs;
    SkinPreferencesView* fSkins;
    BoardPreferencesView* fBoard;
    // The settings this window changes, as they were when it opened.
    std::vector<std::pair<std::string, std::optional<std::string>>> fOpening;
    QPushButton* fCancel;
    QPushButton* fSave;
};
