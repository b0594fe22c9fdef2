#pragma once
// The lobby's list of games (GameListItem rows), black behind its rows.
// Every change of its selection is broadcast: MSG_GAME_SELECTED when a row
// is selected, MSG_GAME_UNSELECTED when none is.
//
// A child of the lobby; GUI thread only.

#include "widgets/ColumnListView.h"

class GameListItem;

class GameList : public ColumnListView
{
public:
    explicit GameList(QWidget* parent = nullptr);

    GameListItem* GameAt(int index) const;
    // The selected row, or null.
    GameListItem* SelectedGame() const;

    void SelectionChanged() override;
};
