#pragma once
// The lobby's list of players online (PeopleListItem rows), black behind
// its rows. Selecting a player has no effect.
//
// A child of the lobby; GUI thread only.

#include "widgets/ColumnListView.h"

class PeopleListItem;

class PeopleList : public ColumnListView
{
public:
    explicit PeopleList(QWidget* parent = nullptr);

    PeopleListItem* PersonAt(int index) const;
};
