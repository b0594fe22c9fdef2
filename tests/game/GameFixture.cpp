#include "GameFixture.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "kit/GuiBridge.h"
#include "kit/Threads.h"
#include "lobby/ClientWindows.h"
#include "xml/UserSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>

#include <cstdlib>
#include <fstream>

int RecordingSoundOutput::Load(const std::string& path)
{
    std::lock_guard<std::mutex> lock(fMutex);
    if (!std::ifstream(path))
        return -1;
    fLoaded.push_back(path.substr(path.find_last_of('/') + 1));
    return static_cast<int>(fLoaded.size()) - 1;
}

void RecordingSoundOutput::Play(int handle)
{
    std::lock_guard<std::mutex> lock(fMutex);
    fPlayed.push_back(handle >= 0 && handle < static_cast<int>(fLoaded.size()) ? fLoaded[handle]
                                                                               : "bad-handle");
}

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

namespace {

std::shared_ptr<RecordingSoundOutput>& Recorder()
{
    static auto* sRecorder =
        new std::shared_ptr<RecordingSoundOutput>(std::make_shared<RecordingSoundOutput>());
    return *sRecorder;
}

// A resource tree the windows can load: one board and one piece skin, and
// the sounds as (empty) files, which is all the recorder needs.
void CreateResources(const QString& root)
{
    QDir dir(root);
    dir.mkpath("resources/chess-sets/boards/Standard");
    dir.mkpath("resources/chess-sets/pieces/Standard");
    dir.mkpath("resources/graphics");
    dir.mkpath("resources/sounds");
    QImage board(320, 320, QImage::Format_RGB32);
    board.fill(Qt::darkGreen);
    board.save(dir.filePath("resources/chess-sets/boards/Standard/320x320.png"));
    QImage piece(40, 40, QImage::Format_ARGB32);
    piece.fill(Qt::red);
    for (const char* side : {"white", "black"})
        for (const char* kind : {"pawn", "rook", "knight", "bishop", "queen", "king"})
            piece.save(dir.filePath(
                QString("resources/chess-sets/pieces/Standard/%1-%2.png").arg(side, kind)));
    for (const char* name : {"turn", "good-ending", "game-background"})
        piece.save(dir.filePath(QString("resources/graphics/%1.png").arg(name)));
    for (const char* name :
         {"check", "checkmate", "draw", "piece-moved", "game-aborted", "game-started"})
        std::ofstream(root.toStdString() + "/resources/sounds/" + name + ".wav") << "RIFF";
}

} // namespace

RecordingSoundOutput& Sounds()
{
    return *Recorder();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

void AnswerNextModal(const std::string& button, std::function<void(QWidget* dialog)> inspect)
{
    auto* poll = new QTimer(qApp);
    auto* waited = new int(0);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || !dialog->isVisible()) {
            if ((*waited += 5) > 10000) {
                ADD_FAILURE() << "no modal dialog appeared";
                poll->deleteLater();
                delete waited;
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        delete waited;
        if (inspect)
            inspect(dialog);
        auto* target = dialog->findChild<QAbstractButton*>(QString::fromStdString(button));
        if (button.empty() || target == nullptr) {
            EXPECT_TRUE(button.empty()) << "the dialog has no button " << button;
            dialog->close();
            return;
        }
        target->click();
    });
    poll->start(5);
}

ServerSession::ServerSession(const std::string& user)
{
    speaker.user = user;
    fContext.user = user;
    ClientWindows::Install();
}

ServerSession::~ServerSession()
{
    SetWindowLink(nullptr);
}

bool ServerSession::WaitForLine(const std::string& line)
{
    return WaitFor([&] {
        return std::find(speaker.lines.begin(), speaker.lines.end(), line) != speaker.lines.end();
    });
}

void ServerSession::Reply(const std::string& line)
{
    fContext.Receive(line + "\r\n");
}

std::vector<std::string> ServerSession::LinesStartingWith(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : speaker.lines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

void ServerSession::DropConnection()
{
    speaker.Reset();
    BMessage reset(MSG_CONNECTION_RESET);
    reset.AddInt32("resets", speaker.resets);
    MessageRepeater::Instance()->PostMessage(reset);
}

void GameFixture::SetUp()
{
    // A settings file and a registry of its own for every test.
    ASSERT_TRUE(fSettings.isValid());
    setenv("XDG_CONFIG_HOME", fSettings.path().toUtf8().constData(), 1);
    UserSettings::ResetForTests();
    MyGames::Instance()->ResetForTests();
    Sounds().Clear();
    fWatchdog = std::make_unique<QTimer>();
    fWatchdog->setSingleShot(true);
    QObject::connect(fWatchdog.get(), &QTimer::timeout, [] {
        ADD_FAILURE() << "watchdog: the test ran too long";
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    fWatchdog->start(30000);
}

void GameFixture::TearDown()
{
    fWatchdog->stop();
    for (QPointer<GameWindow>& window : fWindows)
        delete window.data();
    fWindows.clear();
}

namespace {

game* SeatedRecord()
{
    game* record = cgc_create_seated_game();
    return record;
}

} // namespace

GameWindow* GameFixture::Open(GameWindow* window)
{
    fWindows.emplace_back(window);
    window->Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    return window;
}

GameWindow* GameFixture::OpenPlayed(int32 colour, const std::string& id)
{
    return Open(new GameWindow(id, SeatedRecord(), colour));
}

GameWindow* GameFixture::OpenWatched(const std::string& moves, const std::string& id)
{
    return Open(new GameWindow(id, SeatedRecord(), moves));
}

void GameFixture::Moves(GameWindow* window, const std::vector<std::string>& moves, bool sound)
{
    for (const std::string& move : moves) {
        char buffer[8] = {};
        move.copy(buffer, 7);
        window->MakeMove(buffer, sound);
    }
}

QPoint GameFixture::Centre(const std::string& square, int32 colour)
{
    const int file = square[0] - 'A';
    const int rank = square[1] - '1';
    return colour == CGC_BLACK ? QPoint((7 - file) * 40 + 20, rank * 40 + 20)
                               : QPoint(file * 40 + 20, (7 - rank) * 40 + 20);
}

void GameFixture::Drag(ChessView* board, const std::string& from, const std::string& to)
{
    Drag(board, Centre(from, board->Color()),
         to.empty() ? QPoint(400, 100) : Centre(to, board->Color()));
}

void GameFixture::Drag(ChessView* board, QPoint from, QPoint to)
{
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(board, (from + to) / 2);
    QTest::mouseMove(board, to);
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, to);
}

std::string GameFixture::BoardText(GameWindow* window)
{
    char text[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(window->Game(), text);
    return text;
}

char GameFixture::PieceAt(GameWindow* window, const std::string& square)
{
    const int box = 8 * (8 - (square[1] - '0')) + square[0] - 'A';
    return BoardText(window)[box + box / 8];
}

// The game tests run with a QApplication on the offscreen platform, a
// private settings directory, a generated resource tree as the program's
// directory and the sound recorder as the sound output.
int main(int argc, char** argv)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 2;
    setenv("XDG_CONFIG_HOME", (scratch.path() + "/config").toUtf8().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CreateResources(scratch.path());
    AppLocation::Instance()->SetPath(scratch.path().toStdString());
    kit::SetSoundOutput(Recorder());
    MessageRepeater::Instance()->Run();

    const int result = RUN_ALL_TESTS();
    kit::ShutDownGui();
    MessageRepeater::Instance()->Quit();
    kit::JoinAllThreads();
    return result;
}
