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

void GameListItem::SetTimeControl(int32 minutes, int32 seconds)
{
    fTimeControl = std::to_string(minutes) + "+" + std::to_string(seconds);
    const std::string mark = "[" + fTimeControl + "]";
    if (fDescription == mark)
        fDescription.clear();
    else if (fDescription.size() > mark.size() &&
             fDescription.compare(fDescription.size() - mark.size() - 1, std::string::npos,
                                  " " + mark) == 0)
        fDescription.erase(fDescription.size() - mark.size() - 1);
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
        return QString::fromStdString(fTimeControl);
    case 4:
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
