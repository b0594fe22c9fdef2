#pragma once
// A row of the lobby's game list: game id, White player, Black player, time
// control ("3+2", empty when untimed or unknown) and description. An empty player name is a free
// seat, shown "<not seated>".
//
// Owned by the list while in it; GUI thread only.

#include "kit/Types.h"
#include "widgets/ColumnListView.h"

#include <string>

class GameListItem : public CLVListItem
{
public:
    explicit GameListItem(const std::string& gameId);

    std::string GameID() const { return fGameID; }
    std::string WhitePlayer() const { return fWhite; }
    std::string BlackPlayer() const { return fBlack; }
    std::string Description() const { return fDescription; }

    // These do not repaint; the lobby invalidates the row afterwards.
    void SetWhitePlayer(const std::string& name) { fWhite = name; }
    void SetBlackPlayer(const std::string& name) { fBlack = name; }
    void SetDescription(const std::string& description) { fDescription = description; }
    // Shows the time control and takes its " [m+s]" mark off the
    // description, where the server appends it for clients that have no
    // column for it.
    void SetTimeControl(int32 minutes, int32 seconds);
    std::string TimeControl() const { return fTimeControl; }

    // True when either seat holds the logged-in user's name, exactly.
    bool AmIInvolved() const;
    // True when both seats are taken.
    bool IsFull() const { return !fWhite.empty() && !fBlack.empty(); }

    void DrawItemColumn(QPainter* painter, const QRect& cell, int column,
                        bool selected) const override;
    QString ColumnText(int column) const override;

private:
    std::string fGameID;
    std::string fWhite;
    std::string fBlack;
    std::string fDescription;
    std::string fTimeControl;
};
