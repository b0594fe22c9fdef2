#include "game/GameHooks.h"

#include "app/AppLocation.h"
#include "app/UiHooks.h"
#include "game/ChooseColorWindow.h"
#include "game/GameWindow.h"
#include "game/QtSoundOutput.h"
#include "game/SoundSystem.h"
#include "kit/SoundOutput.h"

#include <memory>

void InstallGameHooks()
{
    UiHooks& hooks = Hooks();
    hooks.newPlayedGameWindow = [](const std::string& id, game* record,
                                   int32 colour) -> GameWindowBase* {
        return new GameWindow(id, record, colour);
    };
    hooks.newWatchedGameWindow = [](const std::string& id, game* record,
                                    const std::string& moves) -> GameWindowBase* {
        return new GameWindow(id, record, moves);
    };
    hooks.playGameAborted = [] { SoundSystem::Instance()->PlayGameAborted(); };
    hooks.newGameDialog = [] { (new ChooseColorWindow())->Show(); };

    auto output = std::make_shared<QtSoundOutput>();
    output->RegisterEvent("Tolvar Game Started", AppLocation::Instance()->AbsolutePath(
                                                     "resources/sounds/game-started.wav"));
    kit::SetSoundOutput(output);
}
