#pragma once
// A row of the lobby's game list: game id, White player, Black player and
// description. An empty player name is a free seat, shown "<not seated>".
//
// Owned by the list while in it; GUI thread only.

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
};
