// Feeds arbitrary server bytes, cut into chunks, through the line cutting,
// splitting and every reply handler, with fake windows that hand moves to
// the rules engine.
//
// Build and run (clang, AddressSanitizer and UndefinedBehaviorSanitizer):
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTOLVAR_BUILD_GUI=OFF \
//       -DTOLVAR_BUILD_TESTS=OFF -DTOLVAR_BUILD_BENCHMARKS=OFF -DTOLVAR_BUILD_FUZZERS=ON
//   cmake --build build-fuzz -j2 --target command_handler_fuzzer
//   mkdir -p fuzz-corpus-net
//   build-fuzz/bin/command_handler_fuzzer fuzz-corpus-net -max_total_time=60 -max_len=4096
//
// The first byte of an input chooses the chunk size (1 to 256 bytes); the
// rest is the stream the server sends.

#include "app/MyGames.h"
#include "app/WindowLink.h"
#include "cgc/cgc.h"
#include "kit/ModalAlert.h"
#include "net/CommandHandler.h"
#include "net/ReplyContext.h"
#include "net/ReplyHandlers.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace {

class Context : public ReplyContext
{
public:
    void Broadcast(const BMessage&) override {}
    std::string LoggedInAs() const override { return fUser; }
    std::string ServerVersion() const override { return fVersion; }
    void SetServerVersion(const std::string& version, const std::string&) override
    {
        fVersion = version;
    }
    void Reset() override
    {
        fVersion = "unknown";
        fUser.clear();
    }

private:
    std::string fUser = "alice";
    std::string fVersion = "unknown";
};

class Window : public GameWindowBase
{
public:
    Window(std::string id, game* record) : fId(std::move(id)), fRecord(record)
    {
        MyGames::Instance()->AddGameReference(fId, this);
    }
    ~Window() override
    {
        if (MyGames::Instance()->GetGameReference(fId) == this)
            MyGames::Instance()->RemoveGameReference(fId);
        cgc_free_game(fRecord);
    }
    void Show() override {}
    std::string GameID() const override { return fId; }
    game* Game() const override { return fRecord; }
    void MakeMove(char* move, bool) override { cgc_make_move(fRecord, move); }
    void SetStatus(const std::string&) override {}
    void SetWinner(const std::string&) override {}
    void SetWhoIsWinner(const std::string&) override {}
    void SetWhitePlayer(const std::string&) override {}
    void SetBlackPlayer(const std::string&) override {}
    void GameGone(const std::string&) override
    {
        if (MyGames::Instance()->GetGameReference(fId) == this)
            MyGames::Instance()->RemoveGameReference(fId);
    }

private:
    std::string fId;
    game* fRecord;
};

// The windows of the current input; a window opened again under the same
// id replaces the old one, as closing it would.
std::map<std::string, std::unique_ptr<Window>> sWindows;

GameWindowBase* OpenWindow(const std::string& id, game* record)
{
    std::unique_ptr<Window>& slot = sWindows[id];
    slot.reset();
    slot = std::make_unique<Window>(id, record);
    return slot.get();
}

// The lobby's calls do nothing; game windows open as Window.
class FuzzWindows : public WindowLink
{
public:
    void NewLoginWindow() override {}
    void InformAboutGame(const std::string&, const std::string&, const std::string&,
                         const std::string&) override
    {
    }
    void RemoveGame(const std::string&) override {}
    void UserIn(const std::string&, const std::string&, bool) override {}
    void UserOut(const std::string&) override {}
    GameWindowBase* NewPlayedGameWindow(const std::string& id, game* record, int32) override
    {
        return OpenWindow(id, record);
    }
    GameWindowBase* NewWatchedGameWindow(const std::string& id, game* record,
                                         const std::string&) override
    {
        return OpenWindow(id, record);
    }
    void PlayGameAborted() override {}
};

void Install()
{
    static FuzzWindows sLink;
    SetWindowLink(&sLink);
    ModalAlertFactory::SetPresenter([](const std::string&, const std::string&, AlertType) {});
    MyGames::Instance()->AddStarted();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool installed = (Install(), true);
    (void)installed;
    if (size == 0)
        return 0;
    size_t chunkSize = static_cast<size_t>(data[0]) + 1;
    std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    // The user asked to watch the games with one-digit numbers.
    MyGames::Instance()->ClearWatchRequests();
    for (char digit = '0'; digit <= '9'; ++digit)
        MyGames::Instance()->AddWatchRequest(std::string(1, digit));

    Context context;
    ReplyHandlers handlers(context);
    CommandHandler commands(handlers);
    for (size_t at = 0; at < stream.size(); at += chunkSize)
        commands.HandleChunk(stream.substr(at, chunkSize));
    sWindows.clear();
    return 0;
}
