#include "lobby/PeopleList.h"

#include "lobby/ListCell.h"
#include "lobby/PeopleListItem.h"

PeopleList::PeopleList(QWidget* parent) : ColumnListView(parent)
{
    ListCell::StyleList(this);
}

PeopleListItem* PeopleList::PersonAt(int index) const
{
    return static_cast<PeopleListItem*>(ItemAt(index));
}
