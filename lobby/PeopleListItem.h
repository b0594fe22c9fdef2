#pragma once
// A row of the lobby's player list: a user name and the rating exactly as
// the server sent it. The logged-in user's own name is drawn in green.
//
// Owned by the list while in it; GUI thread only.

#include "widgets/ColumnListView.h"

#include <string>

class PeopleListItem : public CLVListItem
{
public:
    explicit PeopleListItem(const std::string& user);

    std::string User() const { return fUser; }
    std::string Rating() const { return fRating; }
    void SetRating(const std::string& rating) { fRating = rating; }

    void DrawItemColumn(QPainter* painter, const QRect& cell, int column,
                        bool selected) const override;
    QString ColumnText(int column) const override;

private:
    std::string fUser;
    std::string fRating;
};
