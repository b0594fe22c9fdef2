#pragma once
// The preferences window "User Preferences": one tab, "Chess Sets", with
// the board and piece skin menus. A skin is saved and announced the moment
// it is picked; "Save Changes" and "Ignore Changes" both only close the
// window. One instance at a time: closing destroys it, and the next
// Instance() builds a new one, reading the settings again.
//
// Registered with the broadcast loop while it exists. GUI thread only;
// never blocks.

#include "kit/GuiLooper.h"
#include "widgets/BWindow.h"

#include <QDialog>

class QPushButton;
class QTabWidget;
class SkinPreferencesView;

class PreferencesWindow : public BWindow<QDialog, GuiLooper>
{
public:
    static constexpr int kWidth = 450;
    static constexpr int kHeight = 400;

    // The open window, or a new hidden one.
    static PreferencesWindow* Instance();
    ~PreferencesWindow() override;

    // MSG_PREFS_SAVE and MSG_DIALOG_CANCEL close the window; others are dropped.
    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override { return true; }

    SkinPreferencesView* Skins() const { return fSkins; }
    QPushButton* SaveButton() const { return fSave; }
    QPushButton* CancelButton() const { return fCancel; }

private:
    PreferencesWindow();

    QWidget* fBackground;
    QTabWidget* fTabs;
    SkinPreferencesView* fSkins;
    QPushButton* fCancel;
    QPushButton* fSave;
};
