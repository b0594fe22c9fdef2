#include "lobby/ArchiveWindow.h"

#include "cgc/cgc.h"
#include "game/GameWindow.h"
#include "game/PgnExport.h"
#include "net/ClientLines.h"
#include "net/SpeakerLink.h"
#include "widgets/GenericFunctions.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>
#include <set>

namespace {

using Words = std::vector<std::string>;

std::string Key(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return key;
}

int Number(const std::string& text)
{
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 100000000)
            return -1;
        value = value * 10 + (c - '0');
    }
    return text.empty() ? -1 : value;
}

// What the GUI thread keeps between the lines of a page or a record.
struct Routing
{
    std::map<std::string, QPointer<ArchiveWindow>> windows; // by name key
    std::vector<Words> rows;                                // the page so far
    std::set<std::string> wantedRecords;
    Words header; // the 137 line of the record coming in
    std::vector<std::string> moves;
};

Routing& Route()
{
    static Routing routing;
    return routing;
}

// The winner whose PGN result a stored game has; empty for any other.
std::string Winner(const std::string& result)
{
    for (const char* winner : {"white", "black", "draw"}) {
        if (PgnResult(winner) == result)
            return winner;
    }
    return "";
}

void OpenReview(const Words& header, const std::vector<std::string>& moves)
{
    // 137 id white black white_rating black_rating date minutes seconds result :reason
    if (header.size() < 9)
        return;
    game* record = cgc_create_seated_game();
    if (record == nullptr)
        return;
    PgnFacts facts;
    facts.site = Speaker().Server();
    facts.white = header[1];
    facts.black = header[2];
    facts.whiteElo = std::max(0, Number(header[3]));
    facts.blackElo = std::max(0, Number(header[4]));
    facts.date = header[5];
    facts.minutes = std::max(0, Number(header[6]));
    facts.seconds = std::max(0, Number(header[7]));
    facts.winner = Winner(header[8]);
    facts.reason = header.size() > 9 ? header[9] : std::string();
    auto* window = new GameWindow(header[0], record, moves, facts);
    window->Show();
}

} // namespace

ArchiveWindow* ArchiveWindow::Open(const std::string& user)
{
    ArchiveWindow* window = Find(user);
    if (window == nullptr) {
        window = new ArchiveWindow(user);
        Route().windows[Key(user)] = window;
        window->RequestPage(1);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

ArchiveWindow* ArchiveWindow::Find(const std::string& user)
{
    auto found = Route().windows.find(Key(user));
    return found == Route().windows.end() ? nullptr : found->second.data();
}

void ArchiveWindow::Line(const std::string& code, const Words& args)
{
    Routing& route = Route();
    if (code == "135") {
        // 135 id date colour opponent result change minutes seconds :reason
        if (args.size() >= 8 && route.rows.size() < 1000)
            route.rows.push_back(args);
    } else if (code == "136") {
        std::vector<Words> rows;
        rows.swap(route.rows);
        if (args.size() < 4)
            return;
        if (ArchiveWindow* window = Find(args[0]))
            window->_ShowPage(rows, Number(args[1]), Number(args[2]), Number(args[3]));
    } else if (code == "137") {
        route.header = args;
        route.moves.clear();
    } else if (code == "138") {
        if (args.size() < 2 || route.header.empty() || args[0] != route.header[0])
            return;
        std::string rest = args[1];
        for (size_t start = 0; start < rest.size() && route.moves.size() < 2000;) {
            size_t end = rest.find(' ', start);
            if (end == std::string::npos)
                end = rest.size();
            if (end > start)
                route.moves.push_back(rest.substr(start, end - start));
            start = end + 1;
        }
    } else if (code == "139") {
        Words header;
        header.swap(route.header);
        std::vector<std::string> moves;
        moves.swap(route.moves);
        // Only a record this user asked for opens a window.
        if (args.empty() || header.empty() || header[0] != args[0] ||
            route.wantedRecords.erase(args[0]) == 0)
            return;
        OpenReview(header, moves);
    }
}

ArchiveWindow::ArchiveWindow(const std::string& user) : QWidget(nullptr), fUser(user)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString("Games of " + user));
    setGeometry(GenericFunctions::CenteredFrame(720, 460));

    fList = new QTreeWidget(this);
    fList->setObjectName("archive");
    fList->setRootIsDecorated(false);
    fList->setUniformRowHeights(true);
    fList->setAlternatingRowColors(true);
    fList->setHeaderLabels(
        {"Date", "Opponent", "Colour", "Result", "Reason", "Time control", "Rating"});
    fList->header()->setStretchLastSection(false);
    fList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fList->header()->setSectionResizeMode(4, QHeaderView::Stretch);
    connect(fList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        OpenGame(item->data(0, Qt::UserRole).toString().toStdString());
    });

    fPrevious = new QPushButton("Newer", this);
    fNext = new QPushButton("Older", this);
    fPageLabel = new QLabel("Loading...", this);
    connect(fPrevious, &QPushButton::clicked, this, [this] { RequestPage(fPage - 1); });
    connect(fNext, &QPushButton::clicked, this, [this] { RequestPage(fPage + 1); });
    fPrevious->setEnabled(false);
    fNext->setEnabled(false);

    auto* pages = new QHBoxLayout;
    pages->addWidget(fPrevious);
    pages->addWidget(fPageLabel, 1, Qt::AlignCenter);
    pages->addWidget(fNext);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fList, 1);
    layout->addLayout(pages);
}

ArchiveWindow::~ArchiveWindow()
{
    auto found = Route().windows.find(Key(fUser));
    if (found != Route().windows.end() && (found->second.isNull() || found->second == this))
        Route().windows.erase(found);
}

void ArchiveWindow::RequestPage(int page)
{
    if (page < 1 || (fPages > 0 && page > fPages))
        return;
    fRequestedAt = QDateTime::currentMSecsSinceEpoch();
    fPageLabel->setText("Loading...");
    Speaker().PostLine(ClientLines::Archive(fUser, page));
}

void ArchiveWindow::OpenGame(const std::string& id)
{
    if (id.empty())
        return;
    Route().wantedRecords.insert(id);
    Speaker().PostLine(ClientLines::Record(id));
}

void ArchiveWindow::_ShowPage(const std::vector<Words>& rows, int page, int pages, int total)
{
    fPage = page;
    fPages = pages;
    fList->clear();
    QList<QTreeWidgetItem*> items;
    for (const Words& row : rows) {
        // id date colour opponent result change minutes seconds [reason]
        const bool white = row[2] == "1";
        const std::string& result = row[4];
        QString outcome = "drawn";
        if (result == "-")
            outcome = "aborted";
        else if (result == (white ? "1-0" : "0-1"))
            outcome = "won";
        else if (result == (white ? "0-1" : "1-0"))
            outcome = "lost";
        const int minutes = Number(row[6]);
        const int seconds = Number(row[7]);
        const QString clock = minutes > 0 || seconds > 0
                                  ? QString("%1+%2").arg(minutes).arg(seconds)
                                  : QString("untimed");
        auto* item = new QTreeWidgetItem(
            {QString::fromStdString(row[1]), QString::fromStdString(row[3]),
             white ? "White" : "Black", QString::fromStdString(result) + " (" + outcome + ")",
             QString::fromStdString(row.size() > 8 ? row[8] : std::string()), clock,
             QString::fromStdString(row[5])});
        item->setData(0, Qt::UserRole, QString::fromStdString(row[0]));
        items.append(item);
    }
    fList->addTopLevelItems(items);
    fPageLabel->setText(
        total == 0 ? QString("No finished games yet")
                   : QString("Page %1 of %2 (%3 %4)").arg(page).arg(std::max(pages, 1)).arg(total));
    fPrevious->setEnabled(page > 1);
    fNext->setEnabled(page < pages);
    fLoadMs = QDateTime::currentMSecsSinceEpoch() - fRequestedAt;
}
