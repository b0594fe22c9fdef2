#include "GameTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

void PrintTo(const QColor& colour, std::ostream* out)
{
    *out << "rgba(" << colour.red() << ", " << colour.green() << ", " << colour.blue() << ", "
         << colour.alpha() << ")";
}

// --- RecordingSoundOutput ---

int RecordingSoundOutput::Load(const std::string& path)
{
    std::lock_guard<std::mutex> lock(fMutex);
    std::ifstream file(path);
    if (!file)
        return -1;
    fLoaded.push_back(path.substr(path.find_last_of('/') + 1));
    return static_cast<int>(fLoaded.size()) - 1;
}

void RecordingSoundOutput::Play(int handle)
{
    std::lock_guard<std::mutex> lock(fMutex);
    if (handle >= 0 && handle < static_cast<int>(fLoaded.size()))
        fPlayed.push_back(fLoaded[handle]);
    else
        fPlayed.push_back("bad-handle");
}

void RecordingSoundOutput::RegisterEvent(const std::string&, const std::string&) {}

void RecordingSoundOutput::PlayEvent(const std::string& name)
{
    std::lock_guard<std::mutex> lock(fMutex);
    fPlayed.push_back("event:" + name);
}

std::vector<std::string> RecordingSoundOutput::Played()
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fPlayed;
}

void RecordingSoundOutput::Clear()
{
    std::lock_guard<std::mutex> lock(fMutex);
    fPlayed.clear();
}

namespace testing_support {

namespace {

const char kLetters[] = "PRNBQKprnbqk";
const char* const kPieceNames[12] = {"white-pawn",   "white-rook",   "white-knight", "white-bishop",
                                     "white-queen",  "white-king",   "black-pawn",   "black-rook",
                                     "black-knight", "black-bishop", "black-queen",  "black-king"};

int SkinShift(const std::string& skin)
{
    return skin == "Wood" ? 15 : 0;
}

void SavePiece(const QString& path, QColor colour)
{
    // Transparent corners, a solid middle: the board shows around the piece.
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(8, 8, 24, 24, colour);
    painter.end();
    image.save(path);
}

void SaveBoard(const QString& path, const std::string& skin)
{
    QImage image(320, 320, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 8; ++column)
            painter.fillRect(column * 40, row * 40, 40, 40,
                             BoardColour(skin, (row + column) % 2 == 1));
    painter.end();
    image.save(path);
}

void SaveSolid(const QString& path, QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    image.save(path);
}

// A valid, silent WAV file: the recorder only needs it to exist.
void SaveWav(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    const uint32 dataSize = 800;
    auto put32 = [&](uint32 v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + dataSize);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(8000);
    put32(16000);
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(dataSize);
    std::string silence(dataSize, '\0');
    out.write(silence.data(), dataSize);
}

} // namespace

std::shared_ptr<RecordingSoundOutput> SoundsPointer()
{
    static auto* sRecorder =
        new std::shared_ptr<RecordingSoundOutput>(std::make_shared<RecordingSoundOutput>());
    return *sRecorder;
}

RecordingSoundOutput& Sounds()
{
    return *SoundsPointer();
}

std::string& RootStorage()
{
    static std::string sRoot;
    return sRoot;
}

std::string ResourceRoot()
{
    return RootStorage();
}

QColor PieceColour(const std::string& skin, char letter)
{
    const char* found = std::strchr(kLetters, letter);
    int index = found != nullptr ? static_cast<int>(found - kLetters) : 0;
    return QColor::fromRgba(QColor::fromHsv((index * 29 + SkinShift(skin)) % 360, 255, 200).rgba());
}

QColor BoardColour(const std::string& skin, bool dark)
{
    if (skin == "Wood")
        return dark ? QColor(120, 70, 20) : QColor(230, 200, 150);
    return dark ? QColor(60, 90, 60) : QColor(210, 220, 210);
}

QColor TurnMarkerColour()
{
    return QColor(255, 128, 0);
}

QColor WinnerMarkerColour()
{
    return QColor(0, 200, 255);
}

void CreateResources(const std::string& root)
{
    RootStorage() = root;
    QDir dir(QString::fromStdString(root));
    for (const std::string skin : {"Standard", "Wood"}) {
        const QString boards = QString::fromStdString("resources/chess-sets/boards/" + skin);
        const QString pieces = QString::fromStdString("resources/chess-sets/pieces/" + skin);
        dir.mkpath(boards);
        dir.mkpath(pieces);
        SaveBoard(dir.filePath(boards + "/320x320.png"), skin);
        for (int i = 0; i < 12; ++i)
            SavePiece(dir.filePath(pieces + "/" + kPieceNames[i] + ".png"),
                      PieceColour(skin, kLetters[i]));
    }
    const QString partial = "resources/chess-sets/pieces/NoBlackKing";
    dir.mkpath(partial);
    for (int i = 0; i < 11; ++i)
        SavePiece(dir.filePath(partial + "/" + kPieceNames[i] + ".png"),
                  PieceColour("Standard", kLetters[i]));

    dir.mkpath("resources/graphics");
    SaveSolid(dir.filePath("resources/graphics/turn.png"), QSize(20, 20), TurnMarkerColour());
    SaveSolid(dir.filePath("resources/graphics/good-ending.png"), QSize(24, 24),
              WinnerMarkerColour());
    SaveSolid(dir.filePath("resources/graphics/game-background.png"), QSize(16, 16),
              QColor(90, 60, 40));

    dir.mkpath("resources/sounds");
    for (const char* name :
         {"check", "checkmate", "draw", "piece-moved", "game-aborted", "game-started"})
        SaveWav(root + "/resources/sounds/" + name + ".wav");
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

QImage Grab(QWidget* widget)
{
    return widget->grab().toImage();
}

QColor Pixel(const QImage& image, QPoint point)
{
    return QColor::fromRgba(image.pixel(point));
}

void AnswerNextModal(const std::string& button, std::function<void(QWidget* dialog)> inspect)
{
    auto* poll = new QTimer(qApp);
    auto* elapsed = new int(0);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        QWidget* dialog = QApplication::activeModalWidget();
        *elapsed += 5;
        if (dialog == nullptr || !dialog->isVisible()) {
            if (*elapsed > 10000) {
                ADD_FAILURE() << "no modal dialog appeared";
                poll->deleteLater();
                delete elapsed;
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        delete elapsed;
        if (inspect)
            inspect(dialog);
        if (button.empty()) {
            dialog->close();
            return;
        }
        auto* target = dialog->findChild<QAbstractButton*>(QString::fromStdString(button));
        if (target == nullptr) {
            ADD_FAILURE() << "the dialog has no button " << button;
            dialog->close();
            return;
        }
        target->click();
    });
    poll->start(5);
}

QColor IconColour(QWidget* button)
{
    if (button == nullptr)
        return QColor();
    QImage image = Grab(button);
    return Pixel(image, QPoint(image.width() / 2, image.height() / 2));
}

} // namespace testing_support
