#pragma once
// The archive window of one user: their finished games, most recent first,
// a page of 50 at a time (date, opponent, colour, result, reason, time
// control, rating change). A double-click asks for that game's record,
// which then opens in a game window for review.
//
// Windows and the routing of the archive lines live on the GUI thread. The
// lines of a page come in order and end with the page's closing line, which
// names its user; the window of that user takes them.

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class ArchiveWindow : public QWidget
{
public:
    // Shows (or brings forward) the window of `user` and asks for its first
    // page; the window deletes itself when closed.
    static ArchiveWindow* Open(const std::string& user);
    // The open window of `user`, or null.
    static ArchiveWindow* Find(const std::string& user);
    // One archive line (135 to 139) from the server.
    static void Line(const std::string& code, const std::vector<std::string>& args);

    ~ArchiveWindow() override;

    // Asks for a page of the archive (from 1).
    void RequestPage(int page);
    // Asks for a game's record; it opens for review when it comes.
    void OpenGame(const std::string& id);

    QTreeWidget* List() const { return fList; }
    int Page() const { return fPage; }
    int Pages() const { return fPages; }
    // Milliseconds from the last page's request to its rows being shown.
    qint64 LastLoadMs() const { return fLoadMs; }

private:
    explicit ArchiveWindow(const std::string& user);
    void _ShowPage(const std::vector<std::vector<std::string>>& rows, int page, int pages,
                   int total);

    std::string fUser;
    QTreeWidget* fList = nullptr;
    QLabel* fPageLabel = nullptr;
    QPushButton* fPrevious = nullptr;
    QPushButton* fNext = nullptr;
    int fPage = 0;
    int fPages = 0;
    qint64 fRequestedAt = 0;
    qint64 fLoadMs = -1;
};
