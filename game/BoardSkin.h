#pragma once
// The pictures of one board skin and one piece skin, drawn at the size a
// board needs. Pieces come from their SVG shapes when a skin has them, else
// from the PNG files scaled smoothly; the board from board.svg, else
// 1280x1280.png, else 320x320.png. At the classic size (40-pixel squares on
// a plain screen) the PNG files are used as they are.
//
// Rendered pictures are kept for the last square size and device pixel
// ratio asked for, so a repaint at an unchanged size renders nothing.
// GUI thread only.

#include <QColor>
#include <QImage>
#include <QPixmap>

#include <array>
#include <memory>
#include <string>

class QSvgRenderer;

class BoardSkin
{
public:
    BoardSkin();
    ~BoardSkin();

    // Reads the files of the two skins, given as directories made absolute.
    void Load(const std::string& boardDirectory, const std::string& piecesDirectory);

    // Whether piece `index` (white pawn, rook, knight, bishop, queen, king,
    // then the black ones) has a picture in this skin.
    bool HasPiece(int index) const;
    bool HasBoard() const;

    // The picture for a square (or the whole board) of `cell` pixels at
    // device pixel ratio `ratio`; a null pixmap when the skin lacks it.
    const QPixmap& Piece(int index, int cell, qreal ratio);
    const QPixmap& Board(int cell, qreal ratio);

    // The pictures rendered last, whatever their size (null before the
    // first), for drawing scaled while the size keeps changing.
    const QPixmap& RenderedPiece(int index) const { return fPieceCache[index]; }
    const QPixmap& RenderedBoard() const { return fBoardCache; }
    int RenderedCell() const { return fCacheCell; }

    // The colours of a light and a dark square, read off the board picture
    // (grey and white when there is none).
    QColor LightSquare() const { return fLight; }
    QColor DarkSquare() const { return fDark; }

private:
    struct Source
    {
        QImage image;
        std::unique_ptr<QSvgRenderer> shape;
        QImage large;
    };

    void _Prepare(int cell, qreal ratio);
    static QPixmap _Render(const Source& source, int size, qreal ratio, bool classic);

    std::array<Source, 12> fPieces;
    Source fBoard;
    QColor fLight{Qt::white};
    QColor fDark{Qt::gray};

    std::array<QPixmap, 12> fPieceCache;
    QPixmap fBoardCache;
    int fCacheCell = 0;
    qreal fCacheRatio = 0;
};
