#include "lobby/GameListItem.h"

#include "lobby/ListCell.h"
#include "net/SpeakerLink.h"

namespace {
QString Seat(const std::string& name)
{
    return name.empty() ? QStringLiteral("<not seated>") : QString::fromStdString(name);
}
} // namespace

GameListItem::GameListItem(const std::string& gameId) : fGameID(gameId) {}

bool GameListItem::AmIInvolved() const
{
    std::string user = Speaker().LoggedInAs();
    return fWhite == user || fBlack == user;
}

QString GameListItem::ColumnText(int column) const
{
    switch (column) {
    case 0:
        return QString::fromStdString(fGameID);
    case 1:
        return Seat(fWhite);
    case 2:
        return Seat(fBlack);
    case 3:
        return QString::fromStdString(fDescription);
    default:
        return {};
    }
}

void GameListItem::DrawItemColumn(QPainter* painter, const QRect& cell, int column,
                                  bool selected) const
{
    ListCell::Paint(painter, cell, selected, ColumnText(column), ListCell::kText);
}
