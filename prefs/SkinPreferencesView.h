#pragma once
// The "Chess Sets" page of the preferences: a pop-up menu of board skins
// and one of piece skins, each filled from its skin directory in the order
// the directory lists its entries ("CVS" left out). Picking a skin stores it
// in the user settings, writes the file at once and broadcasts
// MSG_SKIN_CHANGED, so open boards reload their images.
//
// A child of the preferences window; GUI thread only. Reads the skin
// directories and the settings when it is built.

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class BMessage;
class QComboBox;
class QGroupBox;

class SkinPreferencesView : public QWidget
{
public:
    static constexpr const char* kBoardsDirectory = "resources/chess-sets/boards";
    static constexpr const char* kPiecesDirectory = "resources/chess-sets/pieces";

    explicit SkinPreferencesView(QWidget* parent = nullptr);

    // MSG_BOARD_SKIN_CHOSEN and MSG_PIECES_SKIN_CHOSEN; others are dropped.
    void MessageReceived(BMessage* message);

    QComboBox* BoardMenu() const { return fBoards; }
    QComboBox* PiecesMenu() const { return fPieces; }

    // The skins offered from the directory at `path`, in its own order.
    static std::vector<std::string> SkinNames(const std::string& path);
    // Which of `names` is marked for the stored `setting`: the one equal to
    // it ignoring case, else one named "Standard" ignoring case; -1 if none.
    static int MarkedSkin(const std::vector<std::string>& names,
                          const std::optional<std::string>& setting);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QComboBox* _AddMenu(const QString& label, int top, int labelWidth, const char* directory,
                        const char* key, uint32_t chosen);
    void _Choose(QComboBox* menu, const char* key);

    QGroupBox* fBox;
    QComboBox* fBoards;
    QComboBox* fPieces;
};
