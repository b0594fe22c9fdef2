#include "lobby/GameList.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "lobby/GameListItem.h"
#include "lobby/ListCell.h"

GameList::GameList(QWidget* parent) : ColumnListView(parent)
{
    ListCell::StyleList(this);
}

GameListItem* GameList::GameAt(int index) const
{
    return static_cast<GameListItem*>(ItemAt(index));
}

GameListItem* GameList::SelectedGame() const
{
    return GameAt(CurrentSelection());
}

void GameList::SelectionChanged()
{
    MessageRepeater::Instance()->PostMessage(CurrentSelection() < 0 ? MSG_GAME_UNSELECTED
                                                                    : MSG_GAME_SELECTED);
}
