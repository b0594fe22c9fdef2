// Draws the client's images. One command per group of outputs, so that the
// build can regenerate each group when its own sources change:
//
//   tolvar-imagegen pieces SKIN SHAPE-DIRECTORY OUTPUT-DIRECTORY
//   tolvar-imagegen glyph-pieces FONT-FILE OUTPUT-DIRECTORY
//   tolvar-imagegen board SKIN OUTPUT-FILE [SIZE]
//   tolvar-imagegen graphics BOLD-FONT-FILE OUTPUT-DIRECTORY
//   tolvar-imagegen icons KNIGHT-SVG OUTPUT-DIRECTORY
//   tolvar-imagegen contact-sheet RESOURCES-DIRECTORY OUTPUT-FILE
//
// Pieces are written as PNG and as SVG files. A board is written as an SVG
// drawing when OUTPUT-FILE ends in ".svg" (flat skins only), else as a PNG
// file SIZE pixels wide (320, the default, or a multiple of it).
//
// Every image is computed from fixed numbers and the given sources only, and
// written without time stamps, so repeated runs write the same bytes.

#include "BoardPainter.h"
#include "ContactSheet.h"
#include "GlyphPiecePainter.h"
#include "GraphicsPainter.h"
#include "PiecePainter.h"
#include "PieceSchemes.h"
#include "TextPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

namespace {
constexpr int kPieceSize = 40;
constexpr int kBoardSize = 320;

const char* const kPieceNames[] = {"pawn", "knight", "bishop", "rook", "queen", "king"};
const PieceKind kPieceKinds[] = {PieceKind::Pawn, PieceKind::Knight, PieceKind::Bishop,
                                 PieceKind::Rook, PieceKind::Queen,  PieceKind::King};

int Fail(const QString& message)
{
    std::fprintf(stderr, "tolvar-imagegen: %s\n", qPrintable(message));
    return 1;
}

// Qt's PNG writer takes a compression of 0 to 100. The images drawn at their
// classic sizes are written with 9, which it stores without compression, and
// are kept so, byte for byte. Larger images are compressed at 80: nearly the
// size that 100 gives, in a third of the time.
constexpr int kStored = 9;
constexpr int kCompressed = 80;

bool Save(const QImage& image, const QString& path, int compression = kStored)
{
    if (image.isNull())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImageWriter writer(path, "png");
    writer.setCompression(compression);
    return writer.write(image);
}

bool SaveBytes(const QByteArray& bytes, const QString& path)
{
    if (bytes.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int Pieces(const QString& skin, const QString& shapes, const QString& out)
{
    const PieceSchemePair* schemes = FindPieceSchemes(skin);
    if (!schemes)
        return Fail("no colour scheme for piece skin " + skin);
    for (const char* name : kPieceNames) {
        const QByteArray svg = ReadFile(shapes + "/" + name + ".svg");
        if (svg.isEmpty())
            return Fail(QString("cannot read the %1 shape in %2").arg(name, shapes));
        for (const auto& [side, scheme] :
             {std::pair{"white", schemes->white}, std::pair{"black", schemes->black}}) {
            const QString base = QString("%1/%2-%3").arg(out, side, name);
            if (!Save(RenderPieceSvg(svg, scheme, kPieceSize), base + ".png") ||
                !SaveBytes(BakePieceSvg(svg, scheme, kPieceSize), base + ".svg"))
                return Fail(QString("cannot render the %1 shape into %2").arg(name, out));
        }
    }
    return 0;
}

int GlyphPieces(const QString& fontPath, const QString& out)
{
    // The symbols are drawn large and scaled down by the fitting, so the
    // pixel size only sets the precision of the outlines.
    const QRawFont font = LoadFont(fontPath, 200);
    if (!font.isValid())
        return Fail("cannot load the font " + fontPath);
    for (int i = 0; i < 6; ++i) {
        for (bool white : {true, false}) {
            const QString base =
                QString("%1/%2-%3").arg(out, white ? "white" : "black", kPieceNames[i]);
            if (!Save(RenderGlyphPiece(font, kPieceKinds[i], white, kPieceSize), base + ".png") ||
                !SaveBytes(GlyphPieceSvg(font, kPieceKinds[i], white, kPieceSize), base + ".svg"))
                return Fail("the font lacks the chess symbols, or cannot write " + base);
        }
    }
    return 0;
}

int Board(const QString& skin, const QString& out, const QString& size)
{
    if (out.endsWith(".svg")) {
        if (!size.isEmpty() || !SaveBytes(BoardSvg(skin), out))
            return Fail("no flat board skin " + skin + ", or cannot write " + out);
        return 0;
    }
    bool number = true;
    const int pixels = size.isEmpty() ? kBoardSize : size.toInt(&number);
    if (!number || pixels < kBoardSize || pixels % kBoardSize != 0)
        return Fail("a board is a multiple of 320 pixels wide, not " + size);
    const int scale = pixels / kBoardSize;
    if (!Save(PaintBoard(skin, scale), out, scale == 1 ? kStored : kCompressed))
        return Fail("unknown board skin " + skin + ", or cannot write " + out);
    return 0;
}

int Graphics(const QString& fontPath, const QString& out)
{
    if (!LoadFont(fontPath, 12).isValid())
        return Fail("cannot load the font " + fontPath);
    const std::pair<ButtonAction, const char*> actions[] = {
        {ButtonAction::Create, "create-game"},
        {ButtonAction::Join, "join-game"},
        {ButtonAction::Watch, "watch-game"},
    };
    const std::pair<ButtonState, const char*> states[] = {
        {ButtonState::Up, ""},
        {ButtonState::Down, "-down"},
        {ButtonState::Disabled, "-disabled"},
    };
    bool ok = true;
    for (const auto& [action, name] : actions) {
        for (const auto& [state, suffix] : states)
            ok = ok && Save(PaintButton(fontPath, action, state),
                            QString("%1/%2%3.png").arg(out, name, suffix));
    }
    ok = ok && Save(PaintGameBackground(), out + "/game-background.png");
    ok = ok && Save(PaintTurnMarker(), out + "/turn.png");
    ok = ok && Save(PaintWinnerMarker(), out + "/good-ending.png");
    return ok ? 0 : Fail("cannot write the graphics into " + out);
}

int Icons(const QString& knightSvg, const QString& out)
{
    const QByteArray svg = ReadFile(knightSvg);
    if (svg.isEmpty())
        return Fail("cannot read " + knightSvg);
    for (int size : {48, 64, 128, 256}) {
        if (!Save(PaintIcon(svg, size), QString("%1/tolvar-%2.png").arg(out).arg(size)))
            return Fail("cannot write the icons into " + out);
    }
    return 0;
}

int ContactSheet(const QString& resources, const QString& out)
{
    if (!QFileInfo(resources + "/chess-sets").isDir())
        return Fail("no chess sets below " + resources);
    return Save(ComposeContactSheet(resources), out, kCompressed) ? 0 : Fail("cannot write " + out);
}

// Drops the offscreen platform's complaint about a missing runtime directory,
// which it never uses here, so that build logs show only what matters.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int Usage()
{
    std::fprintf(stderr, "usage: tolvar-imagegen pieces SKIN SHAPE-DIRECTORY OUTPUT-DIRECTORY\n"
                         "       tolvar-imagegen glyph-pieces FONT-FILE OUTPUT-DIRECTORY\n"
                         "       tolvar-imagegen board SKIN OUTPUT-FILE [SIZE]\n"
                         "       tolvar-imagegen graphics BOLD-FONT-FILE OUTPUT-DIRECTORY\n"
                         "       tolvar-imagegen icons KNIGHT-SVG OUTPUT-DIRECTORY\n"
                         "       tolvar-imagegen contact-sheet RESOURCES-DIRECTORY OUTPUT-FILE\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    // Fonts and SVG rendering need a GUI application object, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietMessages);
    QGuiApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.isEmpty())
        return Usage();

    const QString& command = args[0];
    if (command == "pieces" && args.size() == 4)
        return Pieces(args[1], args[2], args[3]);
    if (command == "glyph-pieces" && args.size() == 3)
        return GlyphPieces(args[1], args[2]);
    if (command == "board" && (args.size() == 3 || args.size() == 4))
        return Board(args[1], args[2], args.value(3));
    if (command == "graphics" && args.size() == 3)
        return Graphics(args[1], args[2]);
    if (command == "icons" && args.size() == 3)
        return Icons(args[1], args[2]);
    if (command == "contact-sheet" && args.size() == 3)
        return ContactSheet(args[1], args[2]);
    return Usage();
}
