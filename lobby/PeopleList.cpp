#include "lobby/PeopleList.h"

#include "lobby/ListCell.h"
#include "lobby/PeopleListItem.h"

PeopleList::PeopleList(QWidget* parent) : ColumnListView(parent)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Base, ListCell::kBackground);
    setPalette(colours);
}

PeopleListItem* PeopleList::PersonAt(int index) const
{
    return static_cast<PeopleListItem*>(ItemAt(index));
}
