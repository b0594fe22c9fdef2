#include "game/MoveList.h"

#include "cgc/cgc.h"

#include <QBrush>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {

// The coordinates of a move text for the side to move; false when the text
// names no squares.
bool Decode(const game* record, const std::string& text, cgc_move* move)
{
    if (text == "O-O" || text == "O-O-O") {
        const int8_t rank = record->turn == CGC_WHITE ? 0 : 7;
        *move = {4, rank, static_cast<int8_t>(text == "O-O" ? 6 : 2), rank, 0};
        return true;
    }
    if (text.size() < 4 || text.size() > 5)
        return false;
    for (int i = 0; i < 4; i += 2) {
        if (text[i] < 'A' || text[i] > 'H' || text[i + 1] < '1' || text[i + 1] > '8')
            return false;
    }
    int8_t promote = 0;
    if (text.size() == 5) {
        const char* pieces = "NBRQ";
        const char* found = std::strchr(pieces, text[4]);
        if (found == nullptr || text[4] == '\0')
            return false;
        promote = static_cast<int8_t>(CGC_KNIGHT + (found - pieces));
    }
    *move = {static_cast<int8_t>(text[0] - 'A'), static_cast<int8_t>(text[1] - '1'),
             static_cast<int8_t>(text[2] - 'A'), static_cast<int8_t>(text[3] - '1'), promote};
    return true;
}

} // namespace

MoveList::MoveList(QWidget* parent) : QWidget(parent), fFollower(cgc_create_seated_game())
{
    fTable = new QTableWidget(0, 2, this);
    fTable->setObjectName("moves");
    fTable->setHorizontalHeaderLabels({"White", "Black"});
    fTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    fTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fTable->verticalHeader()->setDefaultSectionSize(fTable->fontMetrics().height() + 4);
    fTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fTable->setSelectionMode(QAbstractItemView::NoSelection);
    fTable->setFocusPolicy(Qt::NoFocus);
    connect(fTable, &QTableWidget::cellClicked, this,
            [this](int row, int column) { _CellClicked(row, column); });

    fMarker = new QLabel(this);
    fMarker->setObjectName("stepping");
    fMarker->setWordWrap(true);
    fMarker->setAutoFillBackground(true);
    QPalette warning = fMarker->palette();
    warning.setColor(QPalette::Window, QColor(255, 236, 150));
    warning.setColor(QPalette::WindowText, Qt::black);
    fMarker->setPalette(warning);
    fMarker->setMargin(3);
    fMarker->hide();

    fNote = new QLabel(this);
    fNote->setObjectName("note");
    fNote->setWordWrap(true);
    fNote->setTextFormat(Qt::PlainText);
    fNote->hide();

    auto* steps = new QHBoxLayout;
    steps->setSpacing(2);
    const struct
    {
        const char* text;
        const char* tip;
        void (MoveList::*step)();
    } kSteps[] = {{"|<", "First position (Home)", &MoveList::ShowStart},
                  {"<", "Previous move (Left)", &MoveList::StepBack},
                  {">", "Next move (Right)", &MoveList::StepForward},
                  {">|", "The game (End)", &MoveList::ShowGame}};
    for (const auto& step : kSteps) {
        auto* button = new QToolButton(this);
        button->setText(step.text);
        button->setToolTip(step.tip);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, call = step.step] { (this->*call)(); });
        steps->addWidget(button);
    }
    fBackToGame = new QPushButton("Back to game", this);
    fBackToGame->setFocusPolicy(Qt::NoFocus);
    fBackToGame->hide();
    connect(fBackToGame, &QPushButton::clicked, this, [this] { ShowGame(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(fTable, 1);
    layout->addWidget(fNote);
    layout->addWidget(fMarker);
    layout->addWidget(fBackToGame);
    layout->addLayout(steps);
}

MoveList::~MoveList()
{
    cgc_free_game(fFollower);
    cgc_free_game(fEarlier);
}

bool MoveList::AddMove(const std::string& move)
{
    cgc_move coordinates{};
    char san[CGC_SAN_SIZE] = {};
    if (fFollower == nullptr || !Decode(fFollower, move, &coordinates) ||
        cgc_write_san(fFollower, &coordinates, san) != 0)
        return false;
    char text[8] = {};
    cgc_move_text(&coordinates, text);
    if (cgc_make_move(fFollower, text) < 0)
        return false;
    const bool wasLive = IsLive();
    fMoves.push_back(text);
    fSans.push_back(san);
    const int ply = Count();
    if (ply % 2 == 1)
        fTable->insertRow(fTable->rowCount());
    fTable->setItem((ply - 1) / 2, (ply - 1) % 2, new QTableWidgetItem(QString::fromLatin1(san)));
    if (wasLive)
        fShown = ply;
    else
        fMissed = true;
    _Refresh();
    return true;
}

void MoveList::ShowPly(int ply)
{
    ply = std::max(0, std::min(ply, Count()));
    if (ply == fShown)
        return;
    fShown = ply;
    cgc_free_game(fEarlier);
    fEarlier = nullptr;
    if (IsLive()) {
        fMissed = false;
    } else {
        fEarlier = cgc_create_seated_game();
        for (int i = 0; i < ply && fEarlier != nullptr; ++i) {
            char text[8] = {};
            std::strncpy(text, fMoves[static_cast<size_t>(i)].c_str(), 7);
            cgc_make_move(fEarlier, text);
        }
    }
    _Refresh();
    if (fOnShow)
        fOnShow(fEarlier);
}

void MoveList::SetNote(const std::string& text)
{
    fNote->setText(QString::fromStdString(text));
    fNote->setVisible(!text.empty());
}

void MoveList::_CellClicked(int row, int column)
{
    const int ply = 2 * row + column + 1;
    if (ply <= Count())
        ShowPly(ply);
}

void MoveList::_Refresh()
{
    // The move shown is highlighted; the latest move of the game is bold.
    const QBrush shownBrush(QColor(120, 170, 235));
    for (int ply = 1; ply <= Count(); ++ply) {
        QTableWidgetItem* item = fTable->item((ply - 1) / 2, (ply - 1) % 2);
        if (item == nullptr)
            continue;
        QFont font = item->font();
        font.setBold(ply == Count());
        item->setFont(font);
        item->setBackground(ply == fShown ? shownBrush : QBrush());
    }
    if (fShown > 0) {
        QTableWidgetItem* shown = fTable->item((fShown - 1) / 2, (fShown - 1) % 2);
        fTable->scrollToItem(shown);
    }
    if (IsLive()) {
        fMarker->hide();
        fBackToGame->hide();
        return;
    }
    QString text = fShown == 0 ? QString("Showing the starting position")
                               : QString("Showing the position after %1%2 %3")
                                     .arg((fShown + 1) / 2)
                                     .arg(fShown % 2 == 1 ? "." : "...")
                                     .arg(QString::fromLatin1(fSans[size_t(fShown - 1)]));
    text += " - no moves can be made here.";
    if (fMissed)
        text += " New move played in the game!";
    fMarker->setText(text);
    fMarker->show();
    fBackToGame->show();
}
