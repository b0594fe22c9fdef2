#include "lobby/PeopleListItem.h"

#include "lobby/ListCell.h"
#include "net/SpeakerLink.h"

PeopleListItem::PeopleListItem(const std::string& user) : fUser(user) {}

QString PeopleListItem::ColumnText(int column) const
{
    switch (column) {
    case 0:
        return QString::fromStdString(fUser);
    case 1:
        return QString::fromStdString(fRating);
    default:
        return {};
    }
}

void PeopleListItem::DrawItemColumn(QPainter* painter, const QRect& cell, int column,
                                    bool selected) const
{
    bool own = fUser == Speaker().LoggedInAs();
    ListCell::Paint(painter, cell, selected, ColumnText(column),
                    own ? ListCell::kOwnName : ListCell::kText);
}
